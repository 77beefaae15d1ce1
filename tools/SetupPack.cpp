// SetupPack: builds the pack that the Talvera setup program carries, and
// lists or extracts a pack.
//
//   SetupPack build MANIFEST OUT   write the files a manifest lists into a pack
//   SetupPack list PACK            show every entry and the table of files
//   SetupPack extract PACK DIR     write the files of a pack into a directory
//   SetupPack --help
//
// A pack holds three entries per file: its name, the directory it came from
// on the build machine (the build root plus its directory below the root),
// and its content. Names and directories are stored with a closing NUL; the
// content is compressed into one JC block when that is smaller, else stored.
// The same manifest and inputs always give the same pack.
//
// The manifest is a text file, one record per line, fields separated by a TAB;
// blank lines and lines starting with '#' are skipped:
//
//   root<TAB>D:\Builds\Talvera\Release\    (the build root, ending in "\")
//   file<TAB>NAME<TAB>DIR<TAB>INPUT
//
// DIR is the file's directory below the root, "" or ending in "\"; INPUT is
// where to read the file, absolute or relative to the manifest's directory.
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <string>
#include <vector>

#include "JcPack.h"
#include "JcUnpack.h"
#include "PackReader.h"

namespace fs = std::filesystem;

namespace {

typedef std::vector<unsigned char> Bytes;

const char* const Usage =
    "usage: SetupPack build MANIFEST OUT\n"
    "       SetupPack list PACK\n"
    "       SetupPack extract PACK DIR\n"
    "       SetupPack --help\n"
    "\n"
    "build    writes the files that MANIFEST lists into the pack OUT, three\n"
    "         entries per file: name, source directory, content. The content\n"
    "         is compressed when that makes it smaller. Nothing is written\n"
    "         when the manifest has a fault.\n"
    "list     shows every entry of PACK (index, unpacked and packed length,\n"
    "         stored or compressed, checksum verdict) and its table of files.\n"
    "extract  writes the files of PACK into DIR, which is made if missing.\n"
    "\n"
    "Manifest: one record per line, fields separated by a TAB; blank lines\n"
    "and lines starting with '#' are skipped.\n"
    "  root<TAB>X:\\...\\                 the build root, once\n"
    "  file<TAB>NAME<TAB>DIR<TAB>INPUT   one file, in pack order\n"
    "NAME is a plain file name; DIR is the file's directory below the root,\n"
    "empty or ending in \"\\\"; INPUT is where to read the file, absolute or\n"
    "relative to the manifest's directory.\n";

int Fail(const std::string& message) {
    fprintf(stderr, "SetupPack: %s\n", message.c_str());
    return 1;
}

bool ReadWholeFile(const fs::path& path, Bytes& out) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    out.clear();
    unsigned char buffer[65536];
    size_t got;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0)
        out.insert(out.end(), buffer, buffer + got);
    bool good = !ferror(file);
    fclose(file);
    return good;
}

bool WriteWholeFile(const fs::path& path, const Bytes& data) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file)
        return false;
    bool good = data.empty() || fwrite(data.data(), 1, data.size(), file) == data.size();
    good = fclose(file) == 0 && good;
    return good;
}

void PutLe32(Bytes& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back((unsigned char)(value >> (8 * i)));
}

uint32_t GetLe32(const unsigned char* p) {
    return (uint32_t)p[0] | ((uint32_t)p[1] << 8) | ((uint32_t)p[2] << 16) | ((uint32_t)p[3] << 24);
}

std::string Lower(std::string text) {
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = (char)(c - 'A' + 'a');
    return text;
}

// Texts go into the pack as they are, so they must mean the same in any
// ANSI code page: printable ASCII only.
bool IsPlainAscii(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

// Why a file name cannot be used, or "" when it can. The setup program
// makes paths by appending the name to a directory, so it must stay a plain
// name that neither leaves that directory nor names it.
std::string NameFault(const std::string& name) {
    if (name.empty())
        return "is empty";
    if (name == "." || name == "..")
        return "is \".\" or \"..\"";
    if (name.find_first_of("\\/:") != std::string::npos)
        return "contains \"\\\", \"/\" or \":\"";
    if (!IsPlainAscii(name))
        return "contains a character other than printable ASCII";
    if (name.find_first_of("<>\"|?*") != std::string::npos)
        return "contains a character that Windows does not allow in file names";
    return "";
}

// Why a build root cannot be used, or "" when it can: it must look like
// "X:\...\" and name neither a source tree nor a setup tree.
std::string RootFault(const std::string& root) {
    bool drive = root.size() >= 3 && ((root[0] >= 'A' && root[0] <= 'Z') || (root[0] >= 'a' && root[0] <= 'z')) &&
                 root[1] == ':' && root[2] == '\\';
    if (!drive || root.back() != '\\')
        return "does not look like \"X:\\...\\\"";
    std::string lower = Lower(root);
    if (lower.find("src") != std::string::npos || lower.find("setup") != std::string::npos)
        return "contains \"src\" or \"setup\"";
    if (!IsPlainAscii(root) || root.find_first_of("/<>\"|?*", 3) != std::string::npos ||
        root.find(':', 2) != std::string::npos)
        return "contains a character that Windows does not allow in paths";
    if (root.find("\\\\") != std::string::npos)
        return "contains an empty directory name";
    return "";
}

// Why a source directory below the root cannot be used, or "" when it can.
std::string SourceDirFault(const std::string& dir) {
    if (dir.empty())
        return "";
    if (dir.back() != '\\')
        return "does not end in \"\\\"";
    if (dir[0] == '\\' || dir.find("\\\\") != std::string::npos)
        return "contains an empty directory name";
    if (!IsPlainAscii(dir) || dir.find_first_of("/:<>\"|?*") != std::string::npos)
        return "contains a character that Windows does not allow in paths";
    return "";
}

struct ManifestFile {
    std::string name;
    std::string sourceDir;  // root + directory below it
    fs::path input;
    int line;
};

std::vector<std::string> SplitTabs(const std::string& line) {
    std::vector<std::string> fields;
    size_t start = 0;
    for (;;) {
        size_t tab = line.find('\t', start);
        fields.push_back(line.substr(start, tab == std::string::npos ? std::string::npos : tab - start));
        if (tab == std::string::npos)
            return fields;
        start = tab + 1;
    }
}

bool IsBlank(const std::string& line) {
    return line.find_first_not_of(" \t") == std::string::npos;
}

// Reads and checks the manifest; on a fault sets error and returns false.
bool ReadManifest(const fs::path& path, std::vector<ManifestFile>& files, std::string& error) {
    Bytes text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot read the manifest " + path.string();
        return false;
    }
    fs::path base = path.parent_path();
    std::string root;
    int rootLine = 0;
    std::vector<std::string> dirs;
    std::string content(text.begin(), text.end());
    size_t start = 0;
    for (int lineNumber = 1; start < content.size(); ++lineNumber) {
        size_t newline = content.find('\n', start);
        std::string line = content.substr(start, newline == std::string::npos ? std::string::npos : newline - start);
        start = newline == std::string::npos ? content.size() : newline + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (IsBlank(line) || line[0] == '#')
            continue;

        std::string where = path.string() + ":" + std::to_string(lineNumber) + ": ";
        std::vector<std::string> fields = SplitTabs(line);
        if (fields[0] == "root") {
            if (fields.size() != 2) {
                error = where + "a root record has one field after \"root\"";
                return false;
            }
            if (rootLine) {
                error = where + "a second root record (the first is on line " + std::to_string(rootLine) + ")";
                return false;
            }
            std::string fault = RootFault(fields[1]);
            if (!fault.empty()) {
                error = where + "the build root \"" + fields[1] + "\" " + fault;
                return false;
            }
            root = fields[1];
            rootLine = lineNumber;
        } else if (fields[0] == "file") {
            if (fields.size() != 4) {
                error = where + "a file record has three fields after \"file\": name, directory, input";
                return false;
            }
            ManifestFile file;
            file.name = fields[1];
            file.line = lineNumber;
            std::string fault = NameFault(file.name);
            if (!fault.empty()) {
                error = where + "the file name \"" + file.name + "\" " + fault;
                return false;
            }
            fault = SourceDirFault(fields[2]);
            if (!fault.empty()) {
                error = where + "the source directory \"" + fields[2] + "\" " + fault;
                return false;
            }
            for (const ManifestFile& other : files)
                if (Lower(other.name) == Lower(file.name)) {
                    error = where + "the file name \"" + file.name + "\" is already used on line " +
                            std::to_string(other.line);
                    return false;
                }
            fs::path input = fields[3];
            file.input = input.is_absolute() ? input : base / input;
            std::error_code ec;
            if (fields[3].empty() || !fs::is_regular_file(file.input, ec)) {
                error = where + "the input file \"" + file.input.string() + "\" does not exist";
                return false;
            }
            dirs.push_back(fields[2]);
            files.push_back(file);
        } else {
            error = where + "unknown record \"" + fields[0] + "\" (expected \"root\" or \"file\")";
            return false;
        }
    }
    if (!rootLine) {
        error = path.string() + ": the manifest has no root record";
        return false;
    }
    if (files.empty()) {
        error = path.string() + ": the manifest lists no files";
        return false;
    }
    for (size_t i = 0; i < files.size(); ++i)
        files[i].sourceDir = root + dirs[i];
    return true;
}

void AppendEntry(Bytes& pack, uint32_t unpacked, const Bytes& body) {
    PutLe32(pack, unpacked);
    PutLe32(pack, (uint32_t)body.size());
    pack.insert(pack.end(), body.begin(), body.end());
}

void AppendString(Bytes& pack, const std::string& text) {
    Bytes body(text.begin(), text.end());
    body.push_back(0);
    AppendEntry(pack, (uint32_t)body.size(), body);
}

// The body of a data entry: a JC block when it is smaller than the content,
// else the content itself. Every block is decoded back before it is used.
bool PackContent(const Bytes& content, Bytes& body, std::string& error) {
    body = JcPack(content.data(), (uint32_t)content.size());
    if (body.size() >= content.size()) {
        body = content;
        return true;
    }
    Bytes check(content.size());
    int32_t written = JcUnpack(body.data(), (uint32_t)body.size(), check.data(), (uint32_t)check.size());
    if (written != (int32_t)content.size() || check != content) {
        error = "the compressed block does not decode back to the input (an encoder fault)";
        return false;
    }
    return true;
}

int Build(const fs::path& manifest, const fs::path& out) {
    std::vector<ManifestFile> files;
    std::string error;
    if (!ReadManifest(manifest, files, error))
        return Fail(error);

    Bytes pack;
    uint64_t totalIn = 0;
    for (const ManifestFile& file : files) {
        Bytes content;
        if (!ReadWholeFile(file.input, content))
            return Fail("cannot read " + file.input.string());
        if (content.size() > PackReader::MaxEntryLength)
            return Fail(file.input.string() + " is larger than a pack entry may be (256 MiB)");
        Bytes body;
        if (!PackContent(content, body, error))
            return Fail(file.name + ": " + error);
        AppendString(pack, file.name);
        AppendString(pack, file.sourceDir);
        AppendEntry(pack, (uint32_t)content.size(), body);
        totalIn += content.size();
        printf("%-24s %9zu -> %9zu  %s\n", file.name.c_str(), content.size(), body.size(),
               body.size() == content.size() ? "stored" : "compressed");
    }

    // Written under a temporary name first, so that a failed write leaves
    // no pack behind.
    fs::path temporary = out;
    temporary += ".partial";
    std::error_code ec;
    if (!WriteWholeFile(temporary, pack)) {
        fs::remove(temporary, ec);
        return Fail("cannot write " + out.string());
    }
    fs::rename(temporary, out, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return Fail("cannot write " + out.string());
    }
    printf("%zu files, %llu bytes in, pack of %zu bytes\n", files.size(), (unsigned long long)totalIn,
           pack.size());
    return 0;
}

// One entry as list sees it.
struct ListedEntry {
    uint32_t unpacked;
    uint32_t packed;
    bool whole;          // header and body were there in full
    std::string verdict;
    bool good;
    Bytes content;       // when good
};

void InspectCompressed(const unsigned char* body, ListedEntry& entry) {
    if (entry.packed < JcHeaderSize + 4 || (entry.packed - JcHeaderSize) % 4 != 0) {
        entry.verdict = "DAMAGED: not a whole block";
        return;
    }
    if (JcBlockUnpackedSize(body) != entry.unpacked) {
        entry.verdict = "DAMAGED: block size differs from the entry's";
        return;
    }
    entry.content.assign(entry.unpacked, 0);
    uint32_t written = 0;
    JcResult result = JcDecode(body, entry.packed, entry.content.data(), entry.unpacked, &written);
    switch (result) {
    case JcGood:
        if (written != entry.unpacked) {
            entry.verdict = "DAMAGED: decodes to " + std::to_string(written) + " bytes";
        } else {
            entry.good = true;
            entry.verdict = JcBlockChecksumField(body) ? "checksum good" : "no checksum";
        }
        break;
    case JcBadSignature:
        entry.verdict = "DAMAGED: no JC signature";
        break;
    case JcBadChecksum:
        entry.verdict = "DAMAGED: checksum mismatch";
        break;
    default:
        entry.verdict = "DAMAGED: corrupt code stream";
        break;
    }
    if (!entry.good)
        entry.content.clear();
}

std::vector<ListedEntry> ScanPack(const Bytes& pack) {
    std::vector<ListedEntry> entries;
    size_t offset = 0;
    while (offset < pack.size()) {
        ListedEntry entry = {0, 0, false, "", false, {}};
        if (pack.size() - offset < 8) {
            entry.verdict = "DAMAGED: header cut short";
            entries.push_back(entry);
            break;
        }
        entry.unpacked = GetLe32(&pack[offset]);
        entry.packed = GetLe32(&pack[offset + 4]);
        offset += 8;
        if (pack.size() - offset < entry.packed) {
            entry.verdict = "DAMAGED: body cut short";
            entries.push_back(entry);
            break;
        }
        entry.whole = true;
        const unsigned char* body = pack.data() + offset;
        offset += entry.packed;
        if (entry.unpacked > PackReader::MaxEntryLength || entry.packed > PackReader::MaxEntryLength) {
            entry.verdict = "DAMAGED: longer than 256 MiB";
        } else if (entry.unpacked == entry.packed) {
            entry.good = true;
            entry.verdict = "-";
            entry.content.assign(body, body + entry.packed);
        } else {
            InspectCompressed(body, entry);
        }
        entries.push_back(entry);
    }
    return entries;
}

// The text of a string entry, up to its NUL.
std::string EntryText(const ListedEntry& entry) {
    if (!entry.good)
        return "?";
    const Bytes& c = entry.content;
    size_t end = 0;
    while (end < c.size() && c[end] != 0)
        ++end;
    return std::string(c.begin(), c.begin() + end);
}

int List(const fs::path& path) {
    Bytes pack;
    if (!ReadWholeFile(path, pack))
        return Fail("cannot read " + path.string());
    std::vector<ListedEntry> entries = ScanPack(pack);

    bool damaged = false;
    printf("%5s %10s %10s  %-10s  %s\n", "entry", "unpacked", "packed", "kind", "checksum");
    for (size_t i = 0; i < entries.size(); ++i) {
        const ListedEntry& e = entries[i];
        damaged |= !e.good;
        if (!e.whole) {
            printf("%5zu %10s %10s  %-10s  %s\n", i, "?", "?", "?", e.verdict.c_str());
            continue;
        }
        printf("%5zu %10u %10u  %-10s  %s\n", i, e.unpacked, e.packed,
               e.unpacked == e.packed ? "stored" : "compressed", e.verdict.c_str());
    }

    size_t fileCount = entries.size() / 3;
    printf("\n%zu files\n", fileCount);
    printf("%4s %10s  %-24s  %s\n", "file", "size", "name", "source directory");
    for (size_t f = 0; f < fileCount; ++f) {
        const ListedEntry& data = entries[3 * f + 2];
        printf("%4zu %10u  %-24s  %s\n", f, data.unpacked, EntryText(entries[3 * f]).c_str(),
               EntryText(entries[3 * f + 1]).c_str());
    }
    if (entries.size() % 3 != 0) {
        printf("the last file is incomplete: %zu entries are not a whole number of triples\n", entries.size());
        damaged = true;
    }
    if (damaged)
        fprintf(stderr, "SetupPack: %s is damaged\n", path.string().c_str());
    return damaged ? 1 : 0;
}

// Reads the next entry through the setup program's own reader. Returns false
// at a damaged entry and at the end of the pack, with error set unless the
// pack ended cleanly before a name entry.
bool NextEntry(const char* what, size_t file, const unsigned char*& content, int32_t& size, std::string& error) {
    content = PackReader::nextEntry();
    size = PackReader::entrySize();
    if (content)
        return true;
    std::string entry = std::string("the ") + what + " entry of file " + std::to_string(file);
    switch (PackReader::lastStatus()) {
    case PackReader::EndOfPack:
        if (strcmp(what, "name") != 0)
            error = "the pack ends before " + entry;
        break;
    case PackReader::OutOfMemory:
        error = "out of memory reading " + entry;
        break;
    default:
        error = entry + " is damaged";
        break;
    }
    return false;
}

bool StringEntry(const unsigned char* content, int32_t size, std::string& text) {
    const void* nul = memchr(content, 0, (size_t)size);
    if (!nul)
        return false;
    text.assign((const char*)content, (const char*)nul);
    return true;
}

int Extract(const fs::path& packPath, const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec) && !fs::create_directory(dir, ec))
        return Fail("cannot make the directory " + dir.string());
    if (!PackReader::open(packPath.c_str()))
        return Fail("cannot open " + packPath.string());

    std::string error;
    size_t count = 0;
    for (;;) {
        const unsigned char* content;
        int32_t size;
        if (!NextEntry("name", count, content, size, error))
            break;
        std::string name;
        if (!StringEntry(content, size, name)) {
            error = "the name entry of file " + std::to_string(count) + " has no closing NUL";
            break;
        }
        std::string fault = NameFault(name);
        if (!fault.empty()) {
            error = "refusing the name \"" + name + "\" of file " + std::to_string(count) + ": it " + fault;
            break;
        }
        if (!NextEntry("source directory", count, content, size, error))
            break;
        std::string sourceDir;
        if (!StringEntry(content, size, sourceDir)) {
            error = "the source directory entry of file " + std::to_string(count) + " has no closing NUL";
            break;
        }
        if (!NextEntry("data", count, content, size, error))
            break;
        Bytes data(content, content + size);
        if (!WriteWholeFile(dir / name, data)) {
            error = "cannot write " + (dir / name).string();
            break;
        }
        printf("%-24s %10d  from %s\n", name.c_str(), size, sourceDir.c_str());
        ++count;
    }
    PackReader::close();
    if (!error.empty())
        return Fail(error);
    printf("%zu files extracted into %s\n", count, dir.string().c_str());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "--help" || command == "-h" || command == "help") {
        fputs(Usage, stdout);
        return 0;
    }
    if (command == "build" && argc == 4)
        return Build(argv[2], argv[3]);
    if (command == "list" && argc == 3)
        return List(argv[2]);
    if (command == "extract" && argc == 4)
        return Extract(argv[2], argv[3]);
    fputs(Usage, stderr);
    return 2;
}
