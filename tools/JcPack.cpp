// The JC block encoder: a binary-tree match finder over the whole input and
// a shortest-path parse that weighs every code of the format by its exact
// cost in bits.
//
// The input is parsed in segments of 64 KiB. Within a segment a parse state
// is a position, a literal mode (8-bit literals, or 7-bit literals plus the
// segment's base C) and an index width W; the parse switches mode right
// before a literal and width right before a long match, wherever the
// literal-width or index-width code pays for itself. The last match offset L,
// which repeat matches use, is the one part of the state that is not
// enumerated: each state keeps its few cheapest arrivals that differ in L.
// Long matches are weighed at the nearest distance for each length in each
// band of the length adjustment. Matches at least NiceLength long are taken
// whole.
#include "JcPack.h"

#include <string.h>

#include <algorithm>

#include "JcUnpack.h"

namespace {

// Matches at least this long are taken whole, without weighing shorter cuts.
const uint32_t NiceLength = 256;
// Tree nodes visited per search: more finds older and longer matches. The
// far bands' trees search less deep: what they add saves a bit or two a match.
const uint32_t SearchDepth = 1024;
const uint32_t FarSearchDepth = 64;
const uint32_t SegmentLength = 1u << 16;
// Raw runs are weighed up to this many 256-byte groups at a time.
const uint32_t MaxRawGroups = 8;
const uint32_t HashBits = 16;
const uint32_t NoPosition = 0xFFFFFFFFu;
const uint32_t Unreached = 0xFFFFFFFFu;
const uint32_t MaxIndexWidth = 31;
// Arrivals kept per literal mode and index width, each with its own last
// offset: a dearer path may leave an offset that a later repeat match uses.
const uint32_t ArrivalSlots = 4;
// Index widths weighed: from LowestWidth to the larger of HighestWidth and
// the width that suits the segment's farthest distances.
const uint32_t LowestWidth = 5;
const uint32_t HighestWidth = 10;

enum LiteralMode { Literal8 = 0, Literal7 = 1, NoLiteralMode = 2 };

// Cost in bits of each code.
const uint32_t LiteralCost[2] = {1 + 8, 1 + 7};
const uint32_t SetLiteralCost[2] = {3 + 4 + 1 + 1, 3 + 4 + 1 + 1 + 8};
const uint32_t ZeroByteCost = 3 + 4;
const uint32_t NearByteCost = 3 + 4;
const uint32_t ShortMatchCost = 3 + 7 + 2;
const uint32_t RawRunStartCost = 3 + 4 + 1;
const uint32_t RawGroupCost = 256 * 8 + 1;  // the bytes and the continue bit

inline uint32_t Log2(uint32_t v) { return 31 - __builtin_clz(v); }
inline uint32_t GammaCost(uint32_t v) { return 2 * Log2(v); }
inline uint32_t WidthCodeCost(uint32_t width) { return 3 + 7 + 2 + (width < 16 ? 4 : 5); }

inline uint32_t LongMatchDistanceCost(uint32_t distance, uint32_t width) {
    return 2 + GammaCost((distance >> width) + 3) + width;
}

struct Match {
    uint32_t length;
    uint32_t distance;
};

// Long matches pay their length adjustment by distance band, so a farther
// match can be cheaper than a nearer one of the same length. Beyond the
// nearest match for each length, the matches no nearer than each of these
// distances are looked up too.
const uint32_t FarBandStarts[] = {0x27F, 0x37FF, 0x10000};
const uint32_t FarBandCount = sizeof FarBandStarts / sizeof FarBandStarts[0];

// The matches of one segment: for each position, for each distance band the
// nearest match for each length, nearest first (distances rising, and within
// a band lengths rising).
struct SegmentMatches {
    uint32_t begin = 0;
    uint32_t end = 0;
    std::vector<uint32_t> first;   // index into matches, one per position plus one
    std::vector<Match> matches;
    std::vector<uint8_t> nearDistance;  // 1..14 where a near byte fits, else 0
};

// A binary tree of earlier positions keyed by the bytes that follow them,
// rooted by a hash of three bytes. Along the path that a search takes, each
// longer match is met at its nearest position.
class MatchTree {
public:
    MatchTree(const unsigned char* data, uint32_t size, uint32_t depth)
        : data_(data), size_(size), depth_(depth), left_(size), right_(size), head_(1u << HashBits, NoPosition) {}

    // Inserts pos and, when found is given, appends its matches longer than best.
    void insert(uint32_t pos, uint32_t best, std::vector<Match>* found) {
        uint32_t limit = std::min<uint32_t>(NiceLength, size_ - pos);
        if (limit < 3)
            return;
        uint32_t key = hash3(pos);
        uint32_t candidate = head_[key];
        head_[key] = pos;
        uint32_t* smaller = &left_[pos];  // where the next smaller suffix hangs
        uint32_t* larger = &right_[pos];  // where the next larger suffix hangs
        uint32_t smallerLength = 0;
        uint32_t largerLength = 0;
        for (uint32_t depth = depth_; candidate != NoPosition && depth > 0; --depth) {
            uint32_t length = std::min(smallerLength, largerLength);
            while (length < limit && data_[candidate + length] == data_[pos + length])
                ++length;
            if (length > best) {
                best = length;
                if (found)
                    found->push_back(Match{length, pos - candidate});
            }
            if (length == limit) {
                // Equal as far as we look: pos takes the candidate's place.
                *smaller = left_[candidate];
                *larger = right_[candidate];
                return;
            }
            if (data_[candidate + length] < data_[pos + length]) {
                *smaller = candidate;
                smaller = &right_[candidate];
                candidate = *smaller;
                smallerLength = length;
            } else {
                *larger = candidate;
                larger = &left_[candidate];
                candidate = *larger;
                largerLength = length;
            }
        }
        *smaller = NoPosition;
        *larger = NoPosition;
    }

    // Appends the matches of pos longer than best without inserting it.
    void search(uint32_t pos, uint32_t best, std::vector<Match>& found) const {
        uint32_t limit = std::min<uint32_t>(NiceLength, size_ - pos);
        if (limit < 3)
            return;
        uint32_t candidate = head_[hash3(pos)];
        uint32_t smallerLength = 0;
        uint32_t largerLength = 0;
        for (uint32_t depth = depth_; candidate != NoPosition && depth > 0; --depth) {
            uint32_t length = std::min(smallerLength, largerLength);
            while (length < limit && data_[candidate + length] == data_[pos + length])
                ++length;
            if (length > best) {
                best = length;
                found.push_back(Match{length, pos - candidate});
            }
            if (length == limit)
                return;
            if (data_[candidate + length] < data_[pos + length]) {
                candidate = right_[candidate];
                smallerLength = length;
            } else {
                candidate = left_[candidate];
                largerLength = length;
            }
        }
    }

private:
    uint32_t hash3(uint32_t pos) const {
        uint32_t key = data_[pos] | (data_[pos + 1] << 8) | (data_[pos + 2] << 16);
        return (key * 2654435761u) >> (32 - HashBits);
    }

    const unsigned char* data_;
    uint32_t size_;
    uint32_t depth_;  // tree nodes visited per search: more finds older and longer matches
    std::vector<uint32_t> left_;
    std::vector<uint32_t> right_;
    std::vector<uint32_t> head_;
};

// Finds the matches of each position: a tree of all earlier positions, the
// most recent position of each byte pair for the shortest matches, and for
// each far band a tree that holds only the positions at least that far back.
// A match that reaches NiceLength is followed to its true end and the
// positions it covers are only inserted, each given the rest of that match.
class MatchFinder {
public:
    MatchFinder(const unsigned char* data, uint32_t size)
        : data_(data), size_(size), nearTree_(data, size, SearchDepth), head2_(1u << 16, NoPosition) {
        for (uint32_t band = 0; band < FarBandCount && FarBandStarts[band] < size; ++band)
            farTrees_.emplace_back(data, size, FarSearchDepth);
    }

    void collect(uint32_t begin, uint32_t end, SegmentMatches& out) {
        out.begin = begin;
        out.end = end;
        out.first.clear();
        out.matches.clear();
        out.nearDistance.assign(end - begin, 0);
        for (uint32_t pos = begin; pos < end; ++pos) {
            out.first.push_back((uint32_t)out.matches.size());
            out.nearDistance[pos - begin] = (uint8_t)nearDistance(pos);
            for (uint32_t band = 0; band < farTrees_.size(); ++band)
                if (pos >= FarBandStarts[band])
                    farTrees_[band].insert(pos - FarBandStarts[band], 0, nullptr);
            found_.clear();
            uint32_t best = pairMatch(pos, found_);
            if (pos < takenEnd_) {
                nearTree_.insert(pos, 0, nullptr);
                if (takenEnd_ - pos >= 2)
                    out.matches.push_back(Match{takenEnd_ - pos, takenDistance_});
                continue;
            }
            nearTree_.insert(pos, best, &found_);
            if (!found_.empty() && found_.back().length >= NiceLength) {
                Match longest = found_.back();
                while (pos + longest.length < size_ &&
                       data_[pos + longest.length] == data_[pos + longest.length - longest.distance])
                    ++longest.length;
                takenEnd_ = pos + longest.length;
                takenDistance_ = longest.distance;
                out.matches.insert(out.matches.end(), found_.begin(), found_.end() - 1);
                out.matches.push_back(longest);
                continue;
            }
            addFarMatches(pos, found_);
            out.matches.insert(out.matches.end(), found_.begin(), found_.end());
        }
        out.first.push_back((uint32_t)out.matches.size());
    }

private:
    // The most recent match of the byte pair at pos; returns its length or 1.
    uint32_t pairMatch(uint32_t pos, std::vector<Match>& found) {
        uint32_t limit = std::min<uint32_t>(NiceLength, size_ - pos);
        if (limit < 2)
            return 1;
        uint32_t pairKey = data_[pos] | (data_[pos + 1] << 8);
        uint32_t pairPos = head2_[pairKey];
        head2_[pairKey] = pos;
        if (pairPos == NoPosition)
            return 1;
        uint32_t length = 2;
        while (length < limit && data_[pairPos + length] == data_[pos + length])
            ++length;
        found.push_back(Match{length, pos - pairPos});
        return length;
    }

    // Adds, in distance order, each far band's nearest match for each length
    // that the nearer bands do not already reach.
    void addFarMatches(uint32_t pos, std::vector<Match>& found) {
        for (uint32_t band = 0; band < farTrees_.size() && pos >= FarBandStarts[band]; ++band) {
            size_t firstFar = found.size();
            // A long match's length must exceed its adjustment by 2.
            farTrees_[band].search(pos, JcLengthAdjustment(FarBandStarts[band]) + 1, found);
            // Only the part of the band below the next band belongs to it.
            uint32_t bandEnd = band + 1 < FarBandCount ? FarBandStarts[band + 1] : 0xFFFFFFFFu;
            size_t kept = firstFar;
            for (size_t i = firstFar; i < found.size(); ++i)
                if (found[i].distance < bandEnd && !Contains(found, firstFar, found[i]))
                    found[kept++] = found[i];
            found.resize(kept);
        }
        std::sort(found.begin(), found.end(), [](const Match& a, const Match& b) {
            return a.distance != b.distance ? a.distance < b.distance : a.length < b.length;
        });
    }

    static bool Contains(const std::vector<Match>& found, size_t end, const Match& m) {
        for (size_t i = 0; i < end; ++i)
            if (found[i].distance == m.distance)
                return true;
        return false;
    }

    uint32_t nearDistance(uint32_t pos) const {
        uint32_t reach = std::min<uint32_t>(pos, 14);
        for (uint32_t d = 1; d <= reach; ++d)
            if (data_[pos - d] == data_[pos])
                return d;
        return 0;
    }

    const unsigned char* data_;
    uint32_t size_;
    MatchTree nearTree_;
    std::vector<MatchTree> farTrees_;
    std::vector<uint32_t> head2_;
    std::vector<Match> found_;
    uint32_t takenEnd_ = 0;
    uint32_t takenDistance_ = 0;
};

enum CodeKind : uint8_t {
    CodeStart,        // parse start (no code)
    CodeLiteral,
    CodeZeroByte,
    CodeNearByte,
    CodeRawRun,       // length is a multiple of 256
    CodeRepeatMatch,
    CodeShortMatch,
    CodeLongMatch,
    CodeSetLiteral,   // distance holds the mode, length the base
    CodeSetWidth,     // length holds the width
    CodeEnd
};

struct Code {
    CodeKind kind;
    uint32_t position;  // input position of the bytes the code yields
    uint32_t length;
    uint32_t distance;
};

// What the codes sent so far leave behind.
struct StreamState {
    uint32_t lastOffset = 1;
    uint32_t mode = NoLiteralMode;
    uint32_t base = 0;
    uint32_t width = 8;
};

// How a position was reached. The parse keeps, for each literal mode and
// index width, the few cheapest arrivals that differ in their last offset.
struct Arrival {
    uint32_t price;
    uint32_t lastOffset;
    uint32_t length;    // bytes the code yields
    uint32_t distance;
    CodeKind kind;
    uint8_t fromMode;   // state the code starts from: a different mode means a
    uint8_t fromWidth;  // literal-width code, a different width an index-width
    uint8_t fromSlot;   // code, sent just before it
};

class Parser {
public:
    explicit Parser(const unsigned char* data) : data_(data) {}

    // Price of the cheapest parse of the segment from the given state with
    // literal base C, literal-width and index-width codes included. The
    // widths weighed are lowWidth .. lowWidth + widthCount - 1, which must
    // include the incoming one.
    uint32_t parse(const SegmentMatches& seg, const StreamState& in, uint32_t base, uint32_t lowWidth,
                   uint32_t widthCount) {
        uint32_t count = seg.end - seg.begin;
        base_ = base;
        lowWidth_ = lowWidth;
        widthCount_ = widthCount;
        perPosition_ = 2 * widthCount * ArrivalSlots;
        arrivals_.assign((size_t)(count + 1) * perPosition_, Arrival{Unreached, 0, 0, 0, CodeStart, 0, 0, 0});
        for (uint32_t mode = Literal8; mode <= Literal7; ++mode) {
            bool keeps = in.mode == mode && (mode == Literal8 || in.base == base);
            startNeedsCode_[mode] = !keeps;
            Arrival& start = at(0, mode, in.width - lowWidth)[0];
            start.price = keeps ? 0 : SetLiteralCost[mode];
            start.lastOffset = in.lastOffset;
        }
        for (uint32_t k = 0; k < count; ++k)
            advance(seg, k);
        finalPrice_ = Unreached;
        for (uint32_t mode = Literal8; mode <= Literal7; ++mode)
            for (uint32_t w = 0; w < widthCount_; ++w)
                for (uint32_t slot = 0; slot < ArrivalSlots; ++slot) {
                    const Arrival& a = at(count, mode, w)[slot];
                    if (a.price < finalPrice_) {
                        finalPrice_ = a.price;
                        final_ = State{mode, w, slot};
                    }
                }
        return finalPrice_;
    }

    // The codes of the last parse, in stream order, and the state they leave.
    void codes(const SegmentMatches& seg, std::vector<Code>& out, StreamState& state) const {
        size_t firstNew = out.size();
        uint32_t k = seg.end - seg.begin;
        State s = final_;
        state.lastOffset = at(k, s.mode, s.width)[s.slot].lastOffset;
        state.mode = s.mode;
        state.base = base_;
        state.width = lowWidth_ + s.width;
        for (;;) {
            const Arrival& a = at(k, s.mode, s.width)[s.slot];
            if (a.kind == CodeStart) {
                if (startNeedsCode_[s.mode])
                    out.push_back(Code{CodeSetLiteral, seg.begin, base_, s.mode});
                break;
            }
            k -= a.length;
            out.push_back(Code{a.kind, seg.begin + k, a.length, a.distance});
            if (a.fromMode != s.mode)
                out.push_back(Code{CodeSetLiteral, seg.begin + k, base_, s.mode});
            if (a.fromWidth != s.width)
                out.push_back(Code{CodeSetWidth, seg.begin + k, lowWidth_ + s.width, 0});
            s = State{a.fromMode, a.fromWidth, a.fromSlot};
        }
        std::reverse(out.begin() + firstNew, out.end());
    }

private:
    struct State {
        uint32_t mode;
        uint32_t width;  // index into the widths weighed
        uint32_t slot;
    };

    Arrival* at(uint32_t k, uint32_t mode, uint32_t w) {
        return &arrivals_[(size_t)k * perPosition_ + (mode * widthCount_ + w) * ArrivalSlots];
    }
    const Arrival* at(uint32_t k, uint32_t mode, uint32_t w) const {
        return &arrivals_[(size_t)k * perPosition_ + (mode * widthCount_ + w) * ArrivalSlots];
    }

    // Keeps the arrival if it is the cheapest with its last offset and among
    // the cheapest few of its state.
    void relax(uint32_t k, uint32_t mode, uint32_t w, uint32_t price, uint32_t lastOffset, CodeKind kind,
               uint32_t length, uint32_t distance) {
        Arrival* slots = at(k, mode, w);
        Arrival* target = &slots[0];
        for (uint32_t i = 0; i < ArrivalSlots; ++i) {
            if (slots[i].price == Unreached || slots[i].lastOffset == lastOffset) {
                target = &slots[i];
                break;
            }
            if (slots[i].price > target->price)
                target = &slots[i];
        }
        if (price >= target->price)
            return;
        *target = Arrival{price, lastOffset, length, distance, kind, (uint8_t)from_.mode, (uint8_t)from_.width,
                          (uint8_t)from_.slot};
    }

    uint32_t commonLength(uint32_t pos, uint32_t distance, uint32_t limit) const {
        uint32_t length = 0;
        while (length < limit && data_[pos + length] == data_[pos + length - distance])
            ++length;
        return length;
    }

    void advance(const SegmentMatches& seg, uint32_t k) {
        const uint32_t pos = seg.begin + k;
        const uint32_t remaining = seg.end - pos;
        const Match* first = seg.matches.data() + seg.first[k];
        const Match* end = seg.matches.data() + seg.first[k + 1];

        for (uint32_t mode = Literal8; mode <= Literal7; ++mode) {
            // The cheapest arrival in this mode. An arrival dearer than it plus
            // an index-width code can do nothing better than it (but for its
            // last offset), so it is left alone.
            State best = {mode, 0, 0};
            uint32_t bestPrice = Unreached;
            for (uint32_t w = 0; w < widthCount_; ++w)
                for (uint32_t slot = 0; slot < ArrivalSlots; ++slot)
                    if (at(k, mode, w)[slot].price < bestPrice) {
                        bestPrice = at(k, mode, w)[slot].price;
                        best = State{mode, w, slot};
                    }
            if (bestPrice == Unreached)
                continue;
            const uint32_t bestOffset = at(k, mode, best.width)[best.slot].lastOffset;
            for (uint32_t w = 0; w < widthCount_; ++w) {
                uint32_t switchPrice = bestPrice + WidthCodeCost(lowWidth_ + w);
                bool bestOffsetHere = false;
                for (uint32_t slot = 0; slot < ArrivalSlots; ++slot) {
                    const Arrival& here = at(k, mode, w)[slot];
                    if (here.price >= switchPrice)
                        continue;
                    bestOffsetHere |= here.lastOffset == bestOffset;
                    from_ = State{mode, w, slot};
                    codesKeepingWidth(seg, k, pos, remaining, first, end, mode, w, here.price, here.lastOffset);
                    longMatches(k, remaining, first, end, mode, w, here.price);
                }
                if (!bestOffsetHere && first != end) {
                    from_ = best;
                    longMatches(k, remaining, first, end, mode, w, switchPrice);
                }
            }
        }
    }

    // Every code but the long match: none of them depends on the width.
    void codesKeepingWidth(const SegmentMatches& seg, uint32_t k, uint32_t pos, uint32_t remaining,
                           const Match* first, const Match* end, uint32_t mode, uint32_t w, uint32_t price,
                           uint32_t lastOffset) {
        const unsigned char byte = data_[pos];
        // Literals in this mode, or in the other one after a literal-width code.
        for (uint32_t to = Literal8; to <= Literal7; ++to) {
            if (to == Literal7 && (unsigned char)(byte - base_) >= 128)
                continue;
            uint32_t cost = LiteralCost[to] + (to == mode ? 0 : SetLiteralCost[to]);
            relax(k + 1, to, w, price + cost, lastOffset, CodeLiteral, 1, 0);
        }
        if (byte == 0)
            relax(k + 1, mode, w, price + ZeroByteCost, lastOffset, CodeZeroByte, 1, 0);
        if (seg.nearDistance[k])
            relax(k + 1, mode, w, price + NearByteCost, lastOffset, CodeNearByte, 1, seg.nearDistance[k]);
        for (uint32_t groups = 1; groups <= MaxRawGroups && groups * 256 <= remaining; ++groups)
            relax(k + groups * 256, mode, w, price + RawRunStartCost + groups * RawGroupCost, lastOffset,
                  CodeRawRun, groups * 256, 0);

        bool taken = first != end && end[-1].length >= NiceLength;
        if (lastOffset <= pos) {
            uint32_t repeat = commonLength(pos, lastOffset, std::min(remaining, NiceLength));
            if (taken && end[-1].distance == lastOffset)
                repeat = std::min(end[-1].length, remaining);
            for (uint32_t length = 2; length <= repeat; ++length) {
                relax(k + length, mode, w, price + 4 + GammaCost(length), lastOffset, CodeRepeatMatch, length,
                      lastOffset);
                if (length == NiceLength && repeat > NiceLength)
                    length = repeat - 1;  // beyond NiceLength only the whole repeat
            }
        }
        if (taken)
            return;
        // Short matches: 2 to 5 bytes within 127.
        const Match* m = first;
        for (uint32_t length = 2; length <= 5 && length <= remaining; ++length) {
            while (m != end && m->length < length)
                ++m;
            if (m == end || m->distance > 127)
                break;
            relax(k + length, mode, w, price + ShortMatchCost, m->distance, CodeShortMatch, length, m->distance);
        }
    }

    // Long matches: each length at the nearest distance of each band that
    // has it (a farther band's larger adjustment may make it cheaper). A
    // match taken whole is weighed at its full length only.
    void longMatches(uint32_t k, uint32_t remaining, const Match* first, const Match* end, uint32_t mode,
                     uint32_t w, uint32_t price) {
        if (first == end)
            return;
        uint32_t width = lowWidth_ + w;
        if (end[-1].length >= NiceLength)
            first = end - 1;
        uint32_t reachedByAdjustment[5] = {0, 0, 0, 0, 0};  // the bands, told apart by their adjustment
        for (const Match* m = first; m != end; ++m) {
            uint32_t adjust = JcLengthAdjustment(m->distance);
            uint32_t length = std::min(m->length, remaining);
            uint32_t from = std::max(adjust + 2, reachedByAdjustment[adjust] + 1);
            if (m->length >= NiceLength)
                from = std::max(from, length);
            uint32_t distanceCost = price + LongMatchDistanceCost(m->distance, width);
            for (uint32_t l = from; l <= length; ++l)
                relax(k + l, mode, w, distanceCost + GammaCost(l - adjust), m->distance, CodeLongMatch, l,
                      m->distance);
            reachedByAdjustment[adjust] = std::max(reachedByAdjustment[adjust], length);
        }
    }

    const unsigned char* data_;
    std::vector<Arrival> arrivals_;
    State from_ = {0, 0, 0};
    uint32_t base_ = 0;
    uint32_t lowWidth_ = 8;
    uint32_t widthCount_ = 1;
    uint32_t perPosition_ = 2;
    bool startNeedsCode_[2] = {true, true};
    uint32_t finalPrice_ = Unreached;
    State final_ = {0, 0, 0};
};

// How many bytes of a segment 7-bit literals with the given base cover.
uint32_t LiteralBaseCoverage(const unsigned char* data, uint32_t begin, uint32_t end, uint32_t base) {
    uint32_t covered = 0;
    for (uint32_t i = begin; i < end; ++i)
        covered += (unsigned char)(data[i] - base) < 128;
    return covered;
}

// The literal base that lets 7-bit literals cover the most bytes of a segment.
uint32_t BestLiteralBase(const unsigned char* data, uint32_t begin, uint32_t end) {
    uint32_t histogram[256] = {0};
    for (uint32_t i = begin; i < end; ++i)
        ++histogram[data[i]];
    uint32_t covered = 0;
    for (uint32_t v = 0; v < 128; ++v)
        covered += histogram[v];
    uint32_t best = 0;
    uint32_t bestCovered = covered;
    for (uint32_t base = 1; base < 256; ++base) {
        covered += histogram[(base + 127) & 255];
        covered -= histogram[base - 1];
        if (covered > bestCovered) {
            bestCovered = covered;
            best = base;
        }
    }
    return best;
}

class BitWriter {
public:
    explicit BitWriter(std::vector<unsigned char>& out) : out_(out) {}

    void put(uint32_t value, uint32_t width) {
        while (width--) {
            word_ = (word_ << 1) | ((value >> width) & 1);
            if (++used_ == 32)
                flush();
        }
    }

    void putGamma(uint32_t value) {
        uint32_t top = Log2(value);
        for (uint32_t i = top; i-- > 0;) {
            put((value >> i) & 1, 1);
            put(i > 0 ? 1 : 0, 1);
        }
    }

    // Pads the last word with zero bits.
    void finish() {
        if (used_ > 0) {
            word_ <<= 32 - used_;
            flush();
        }
    }

private:
    void flush() {
        for (int i = 0; i < 4; ++i)
            out_.push_back((unsigned char)(word_ >> (8 * i)));
        word_ = 0;
        used_ = 0;
    }

    std::vector<unsigned char>& out_;
    uint32_t word_ = 0;
    uint32_t used_ = 0;
};

void WriteCodes(const unsigned char* data, const std::vector<Code>& codes, std::vector<unsigned char>& out) {
    BitWriter bits(out);
    uint32_t width = 8;
    uint32_t mode = NoLiteralMode;
    uint32_t base = 0;
    for (const Code& code : codes) {
        switch (code.kind) {
        case CodeStart:
            break;
        case CodeLiteral:
            bits.put(1, 1);
            bits.put((uint32_t)(unsigned char)(data[code.position] - base), mode == Literal8 ? 8 : 7);
            break;
        case CodeZeroByte:
            bits.put(0x1, 3);
            bits.put(1, 4);
            break;
        case CodeNearByte:
            bits.put(0x1, 3);
            bits.put(code.distance + 1, 4);
            break;
        case CodeRawRun:
            bits.put(0x1, 3);
            bits.put(0, 4);
            bits.put(1, 1);
            for (uint32_t group = 0; group < code.length / 256; ++group) {
                for (uint32_t i = 0; i < 256; ++i)
                    bits.put(data[code.position + group * 256 + i], 8);
                bits.put(group + 1 < code.length / 256 ? 1 : 0, 1);
            }
            break;
        case CodeRepeatMatch:
            bits.put(0x1, 2);
            bits.putGamma(2);
            bits.putGamma(code.length);
            break;
        case CodeShortMatch:
            bits.put(0x0, 3);
            bits.put(code.distance, 7);
            bits.put(code.length - 2, 2);
            break;
        case CodeLongMatch:
            bits.put(0x1, 2);
            bits.putGamma((code.distance >> width) + 3);
            bits.put(code.distance & ((1u << width) - 1), width);
            bits.putGamma(code.length - JcLengthAdjustment(code.distance));
            break;
        case CodeSetLiteral:
            mode = code.distance;
            base = mode == Literal8 ? 0 : code.length;
            bits.put(0x1, 3);
            bits.put(0, 4);
            bits.put(0, 1);
            bits.put(mode == Literal8 ? 1 : 0, 1);
            if (mode == Literal7)
                bits.put(base, 8);
            break;
        case CodeSetWidth:
            width = code.length;
            bits.put(0x0, 3);
            bits.put(0, 7);
            if (width < 16) {
                bits.put(1, 2);
                bits.put(width, 4);
            } else {
                bits.put(2, 2);
                bits.put(width, 5);
            }
            break;
        case CodeEnd:
            bits.put(0x0, 3);
            bits.put(0, 7);
            bits.put(0, 2);
            break;
        }
    }
    bits.finish();
}

void PutLe32(std::vector<unsigned char>& out, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back((unsigned char)(value >> (8 * i)));
}

// Parses one segment with the literal base that gives the fewest bits.
void ParseSegment(const unsigned char* data, const SegmentMatches& seg, Parser& parser, StreamState& state,
                  std::vector<Code>& codes) {
    std::vector<uint32_t> bases{BestLiteralBase(data, seg.begin, seg.end)};
    if (state.mode == Literal7 && state.base != bases[0]) {
        // Keeping the base saves a literal-width code; a base that covers
        // as many bytes is kept without weighing the other.
        if (LiteralBaseCoverage(data, seg.begin, seg.end, state.base) ==
            LiteralBaseCoverage(data, seg.begin, seg.end, bases[0]))
            bases[0] = state.base;
        else
            bases.push_back(state.base);
    }
    uint32_t low = std::min(LowestWidth, state.width);
    uint32_t farthest = Log2(seg.end);
    uint32_t suited = std::min(MaxIndexWidth, farthest > 2 ? farthest - 2 : 1);
    uint32_t high = std::max(state.width, std::max(HighestWidth, suited));
    uint32_t count = high - low + 1;

    uint32_t bestPrice = Unreached;
    uint32_t bestBase = bases[0];
    for (uint32_t base : bases) {
        uint32_t price = parser.parse(seg, state, base, low, count);
        if (price < bestPrice) {
            bestPrice = price;
            bestBase = base;
        }
    }
    if (bestBase != bases.back())  // the parser holds the last parse
        parser.parse(seg, state, bestBase, low, count);
    parser.codes(seg, codes, state);
}

}  // namespace

std::vector<unsigned char> JcPack(const unsigned char* data, uint32_t size) {
    std::vector<Code> codes;
    StreamState state;
    MatchFinder finder(data, size);
    Parser parser(data);
    SegmentMatches seg;
    for (uint32_t begin = 0; begin < size; begin += SegmentLength) {
        uint32_t end = size - begin > SegmentLength ? begin + SegmentLength : size;
        finder.collect(begin, end, seg);
        ParseSegment(data, seg, parser, state, codes);
    }
    if (state.mode == NoLiteralMode)  // every block starts by setting the literal width
        codes.push_back(Code{CodeSetLiteral, 0, 0, Literal8});
    codes.push_back(Code{CodeEnd, size, 0, 0});

    std::vector<unsigned char> block{'J', 'C'};
    PutLe32(block, size);
    PutLe32(block, JcChecksum(data, size));
    WriteCodes(data, codes, block);
    return block;
}
