// Writes the seed corpora of the fuzz targets into a directory:
//   jcunpack/   hand-built blocks, one or more of each code, and compressed blocks
//   reader/     packs: stored and compressed entries, damaged ones
//   jcpack/     small inputs of several kinds for the compressor
//   inputs/ and manifest.txt, from which the build makes a real pack with
//   SetupPack into reader/.
#include <stdio.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "../tests/native/BlockBuilder.h"
#include "../tests/native/TestSupport.h"
#include "JcPack.h"

namespace {

std::string outDir;

void Write(const std::string& path, const Bytes& data) {
    FILE* f = fopen((outDir + "/" + path).c_str(), "wb");
    if (!f) {
        perror(path.c_str());
        exit(1);
    }
    if (!data.empty())
        fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

void Put32(Bytes& out, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back((uint8_t)(v >> (8 * i)));
}

Bytes Entry(uint32_t unpacked, const Bytes& body) {
    Bytes out;
    Put32(out, unpacked);
    Put32(out, (uint32_t)body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

Bytes Block(const Bytes& data) { return JcPack(data.data(), (uint32_t)data.size()); }

// A hand-built block, checked to decode to what it was meant to.
Bytes HandBlock(BlockBuilder& b, const Bytes& expected) {
    b.end();
    Bytes block = b.block((uint32_t)expected.size(), JcChecksum(expected.data(), (uint32_t)expected.size()));
    Decoded d = DecodeBlock(block, (uint32_t)expected.size());
    if (d.status != JcGood || d.output != expected) {
        fprintf(stderr, "MakeSeeds: a hand-built block does not decode as meant\n");
        exit(1);
    }
    return block;
}

void JcUnpackSeeds() {
    Write("jcunpack/worked-example", {0x4A, 0x43, 0x04, 0x00, 0x00, 0x00, 0xA2, 0xA3, 0xA3,
                                      0xA3, 0x14, 0x40, 0xD8, 0x20, 0x00, 0x00, 0x00, 0x00});
    {
        // Every code once: literal widths, literals, zero and near bytes, a raw
        // run, short, long and repeat matches, an index-width change.
        Bytes raw = NoiseBytes(256, 1);
        BlockBuilder b;
        b.setLiteral7(10).literal(87, 7).literal(91, 7).zeroByte().nearByte(3).rawRun(raw);
        b.setLiteral8().literal(200, 8).shortMatch(5, 2).longMatchAt(130, 8, 3).repeatMatch(4);
        b.indexWidth(1, 5).longMatchAt(200, 5, 2).indexWidth(2, 20).longMatchAt(20, 20, 3);
        Bytes expected = {97, 101, 0, 101};
        expected.insert(expected.end(), raw.begin(), raw.end());
        expected.push_back(200);
        auto copy = [&](uint32_t d, uint32_t n) { for (uint32_t i = 0; i < n; ++i) expected.push_back(expected[expected.size() - d]); };
        copy(5, 4);
        copy(130, 3);
        copy(130, 4);
        copy(200, 2);
        copy(20, 7);
        Write("jcunpack/every-code", HandBlock(b, expected));
    }
    {
        BlockBuilder b;
        b.setLiteral8().literal('a', 8).end();
        Write("jcunpack/no-checksum", b.block(1, 0));
        Write("jcunpack/empty", BlockBuilder().setLiteral8().end().block(0, 0));
    }
    const Bytes inputs[] = {TextBytes(2000, 2), Concat({TextBytes(500, 3), NoiseBytes(600, 4), TextBytes(500, 5)}),
                            Bytes(3000, 0), NoiseBytes(300, 6)};
    int n = 0;
    for (const Bytes& input : inputs)
        Write("jcunpack/packed-" + std::to_string(n++), Block(input));
}

void ReaderSeeds() {
    Bytes text = TextBytes(1500, 7);
    Bytes block = Block(text);
    Bytes name = BytesOf(std::string("Client.exe", 11));
    Bytes dir = BytesOf(std::string("D:\\Builds\\", 11));
    Write("reader/empty", {});
    Write("reader/triple", Concat({Entry(11, name), Entry(11, dir), Entry((uint32_t)text.size(), block)}));
    Write("reader/stored-and-empty", Concat({Entry(3, BytesOf("abc")), Entry(0, {}), Entry(4, BytesOf("JC\0\0"))}));
    Bytes badChecksum = block;
    badChecksum[6] ^= 1;
    Write("reader/bad-checksum", Concat({Entry((uint32_t)text.size(), badChecksum), Entry(3, BytesOf("abc"))}));
    Write("reader/cut-body", Concat({Entry(11, name), Entry((uint32_t)text.size(), Bytes(block.begin(), block.begin() + 40))}));
    Write("reader/cut-header", Concat({Entry(11, name), {1, 2, 3}}));
}

void JcPackSeeds() {
    Write("jcpack/text", TextBytes(1500, 8));
    Write("jcpack/mixed", Concat({TextBytes(300, 9), NoiseBytes(600, 10), Bytes(200, 0), TextBytes(300, 11)}));
    Write("jcpack/runs", Concat({Bytes(700, 'x'), Bytes(5, 'y'), Bytes(300, 0)}));
    Bytes all;
    for (int i = 0; i < 256; ++i)
        all.push_back((uint8_t)i);
    Write("jcpack/all-bytes", all);
}

void ManifestForRealPack() {
    Write("inputs/gpl.txt", TextBytes(3000, 12));
    Write("inputs/Client.exe", Concat({NoiseBytes(400, 13), Bytes(500, 0), TextBytes(800, 14)}));
    Write("inputs/empty.txt", {});
    Write("manifest.txt", BytesOf("root\tD:\\Builds\\Talvera\\Release\\\n"
                                  "file\tgpl.txt\t\tinputs/gpl.txt\n"
                                  "file\tClient.exe\tbin\\\tinputs/Client.exe\n"
                                  "file\tempty.txt\tdoc\\\tinputs/empty.txt\n"));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: MakeSeeds DIR\n");
        return 2;
    }
    outDir = argv[1];
    JcUnpackSeeds();
    ReaderSeeds();
    JcPackSeeds();
    ManifestForRealPack();
    return 0;
}
