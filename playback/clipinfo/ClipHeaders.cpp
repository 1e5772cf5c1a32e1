#include "playback/clipinfo/ClipHeaders.h"

#include <cstring>

size_t ClipMemorySource::Read(uint64_t offset, void* out, size_t size)
{
    if (offset >= m_size)
        return 0;
    const size_t n = size < m_size - offset ? size : static_cast<size_t>(m_size - offset);
    std::memcpy(out, m_data + offset, n);
    return n;
}

namespace {

const int kMaxDepth = 8;

// The source within the budgets: every read exact, inside the source, and counted.
class Budget {
public:
    explicit Budget(ClipByteSource& source) : m_source(source), m_size(source.Size()) {}
    bool Get(uint64_t offset, void* out, size_t size)
    {
        if (size > m_bytesLeft || offset > m_size || size > m_size - offset)
            return false;
        m_bytesLeft -= size;
        return m_source.Read(offset, out, size) == size;
    }
    // One more box or element looked at; false once there were too many.
    bool Visit()
    {
        if (!m_itemsLeft)
            return false;
        --m_itemsLeft;
        return true;
    }
    uint64_t Size() const { return m_size; }

private:
    ClipByteSource& m_source;
    uint64_t m_size;
    size_t m_bytesLeft = kClipHeaderByteBudget;
    unsigned m_itemsLeft = kClipHeaderItemBudget;
};

uint32_t Be16(const uint8_t* p) { return (p[0] << 8) | p[1]; }
uint32_t Be32(const uint8_t* p) { return (static_cast<uint32_t>(p[0]) << 24) | (p[1] << 16) | (p[2] << 8) | p[3]; }
uint64_t Be64(const uint8_t* p) { return (static_cast<uint64_t>(Be32(p)) << 32) | Be32(p + 4); }
uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }

constexpr uint32_t Tag(const char (&s)[5])
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(s[0])) << 24) | (static_cast<uint8_t>(s[1]) << 16) |
           (static_cast<uint8_t>(s[2]) << 8) | static_cast<uint8_t>(s[3]);
}

uint64_t Gcd(uint64_t a, uint64_t b)
{
    while (b) {
        const uint64_t t = a % b;
        a = b;
        b = t;
    }
    return a;
}

// x:y reduced, and kept within 32 bits.
void SetAspect(uint64_t x, uint64_t y, ClipHeaders* pOut)
{
    if (!x || !y)
        return;
    const uint64_t g = Gcd(x, y);
    x /= g;
    y /= g;
    while (x > 0xFFFFFFFFull || y > 0xFFFFFFFFull) {
        x >>= 1;
        y >>= 1;
    }
    if (!x || !y)
        return;
    pOut->parX = static_cast<uint32_t>(x);
    pOut->parY = static_cast<uint32_t>(y);
}

void SetColourCodes(uint64_t primaries, uint64_t transfer, uint64_t matrix, ClipHeaders* pOut)
{
    if (matrix == 1)
        pOut->matrix = kMatrixBt709;
    else if (matrix == 5 || matrix == 6)
        pOut->matrix = kMatrixBt601;
    else if (matrix == 9 || matrix == 10)
        pOut->matrix = kMatrixBt2020;
    if (primaries == 1)
        pOut->primaries = kPrimariesBt709;
    else if (primaries >= 5 && primaries <= 7)
        pOut->primaries = kPrimariesBt601;
    else if (primaries == 9)
        pOut->primaries = kPrimariesBt2020;
    if (transfer == 16)
        pOut->transfer = kTransferPq;
    else if (transfer == 18)
        pOut->transfer = kTransferHlg;
    else if (transfer == 1 || transfer == 4 || transfer == 5 || transfer == 6 || transfer == 13 || transfer == 14 ||
             transfer == 15)
        pOut->transfer = kTransferSdr;
}

// QuickTime's and Matroska's field order codes: 1 and 14 show the top field first, 6 and
// 9 the bottom one (9 and 14 store the fields in the other order).
ClipInterlace FieldOrder(uint32_t code)
{
    switch (code) {
    case 1:
    case 14:
        return kTopFieldFirst;
    case 6:
    case 9:
        return kBottomFieldFirst;
    default:
        return kInterlacedOrderUnstated;
    }
}

// --- MP4 and MOV -----------------------------------------------------------------------

struct Box {
    uint32_t type;
    uint64_t body, end;
};

// The box at pos, which must end by end. At the top level a box that runs past the end
// of the file is cut short there (a file cut off in its last box); below, a child that
// claims more than its parent has is a lie and ends the parent.
bool NextBox(Budget& in, uint64_t pos, uint64_t end, bool topLevel, Box* pBox)
{
    uint8_t h[16];
    if (pos >= end || end - pos < 8 || !in.Visit() || !in.Get(pos, h, 8))
        return false;
    uint64_t size = Be32(h), header = 8;
    if (size == 1) {
        if (end - pos < 16 || !in.Get(pos + 8, h + 8, 8))
            return false;
        size = Be64(h + 8);
        header = 16;
    } else if (size == 0) {
        size = end - pos;  // to the end of what holds it
    }
    if (size < header)
        return false;
    if (size > end - pos) {
        if (!topLevel)
            return false;
        size = end - pos;
    }
    pBox->type = Be32(h + 4);
    pBox->body = pos + header;
    pBox->end = pos + size;
    return true;
}

struct Mp4Track {
    bool video = false;
    ClipHeaders found;
};

// The rotation a track header's matrix makes: only the four upright turns count (a
// mirror or another angle is no camera's).
void ReadTrackHeader(Budget& in, const Box& box, ClipHeaders* pOut)
{
    uint8_t b[4 + 88];
    if (box.end - box.body < 4 || !in.Get(box.body, b, 4))
        return;
    const size_t at = b[0] == 1 ? 52 : b[0] == 0 ? 40 : 0;
    if (!at || box.end - box.body < at + 20 || !in.Get(box.body + at, b, 20))
        return;
    const int32_t a = static_cast<int32_t>(Be32(b)), m = static_cast<int32_t>(Be32(b + 4)),
                  c = static_cast<int32_t>(Be32(b + 12)), d = static_cast<int32_t>(Be32(b + 16));
    int rotation = -1;
    if (!m && !c && a > 0 && d > 0)
        rotation = 0;
    else if (!a && !d && m > 0 && c < 0)
        rotation = 90;
    else if (!m && !c && a < 0 && d < 0)
        rotation = 180;
    else if (!a && !d && m < 0 && c > 0)
        rotation = 270;
    if (rotation >= 0) {
        pOut->rotation = rotation;
        pOut->rotationStated = true;
    }
}

// The boxes inside the first sample description: pixel aspect, colour, fields.
void ReadSampleEntry(Budget& in, const Box& entry, ClipHeaders* pOut)
{
    const uint64_t kVisualEntry = 78;  // the fixed fields of a video sample description
    if (entry.end - entry.body < kVisualEntry)
        return;
    Box box;
    for (uint64_t pos = entry.body + kVisualEntry; NextBox(in, pos, entry.end, false, &box); pos = box.end) {
        uint8_t b[11];
        const uint64_t length = box.end - box.body;
        if (box.type == Tag("pasp") && length >= 8 && in.Get(box.body, b, 8)) {
            SetAspect(Be32(b), Be32(b + 4), pOut);
        } else if (box.type == Tag("colr") && length >= 10 && in.Get(box.body, b, length >= 11 ? 11 : 10)) {
            const uint32_t kind = Be32(b);
            if (kind == Tag("nclx") || kind == Tag("nclc")) {
                SetColourCodes(Be16(b + 4), Be16(b + 6), Be16(b + 8), pOut);
                if (kind == Tag("nclx") && length >= 11)
                    pOut->range = (b[10] & 0x80) ? kRangeFull : kRangeLimited;
            }
        } else if (box.type == Tag("fiel") && length >= 2 && in.Get(box.body, b, 2)) {
            if (b[0] == 1)
                pOut->interlace = kProgressive;
            else if (b[0] == 2)
                pOut->interlace = FieldOrder(b[1]);
        }
    }
}

void WalkMp4(Budget& in, uint64_t pos, uint64_t end, int depth, bool topLevel, Mp4Track* pTrack, ClipHeaders* pOut,
             bool* pFound)
{
    Box box;
    for (; !*pFound && depth < kMaxDepth && NextBox(in, pos, end, topLevel, &box); pos = box.end) {
        switch (box.type) {
        case Tag("moov"):
        case Tag("mdia"):
        case Tag("minf"):
        case Tag("stbl"):
            WalkMp4(in, box.body, box.end, depth + 1, false, pTrack, pOut, pFound);
            break;
        case Tag("trak"):
            if (!pTrack) {
                Mp4Track track;
                WalkMp4(in, box.body, box.end, depth + 1, false, &track, pOut, pFound);
                if (track.video) {
                    *pOut = track.found;
                    *pFound = true;
                }
            }
            break;
        case Tag("tkhd"):
            if (pTrack)
                ReadTrackHeader(in, box, &pTrack->found);
            break;
        case Tag("hdlr"): {
            uint8_t b[12];
            // A QuickTime file has a second one in minf, for its data ('alis').
            if (pTrack && box.end - box.body >= 12 && in.Get(box.body, b, 12) && Be32(b + 8) == Tag("vide"))
                pTrack->video = true;
            break;
        }
        case Tag("stsd"): {
            Box entry;
            if (pTrack && box.end - box.body >= 8 && NextBox(in, box.body + 8, box.end, false, &entry))
                ReadSampleEntry(in, entry, &pTrack->found);
            break;
        }
        default:
            break;
        }
    }
}

bool IsMp4(Budget& in)
{
    uint8_t h[8];
    if (!in.Get(0, h, 8))
        return false;
    switch (Be32(h + 4)) {
    case Tag("ftyp"):
    case Tag("moov"):
    case Tag("mdat"):
    case Tag("free"):
    case Tag("skip"):
    case Tag("wide"):
    case Tag("pnot"):
        return true;
    default:
        return false;
    }
}

// --- Matroska and WebM -----------------------------------------------------------------

struct Element {
    uint32_t id;
    uint64_t body, end;
    bool unknownSize;
};

// A variable-length number at pos: its length from the first byte's leading zeros.
bool ReadVint(Budget& in, uint64_t pos, uint64_t end, int maxLength, bool keepMarker, uint64_t* pValue,
              int* pLength, bool* pAllOnes)
{
    uint8_t b[8];
    if (pos >= end || !in.Get(pos, b, 1) || !b[0])
        return false;
    int length = 1;
    while (!(b[0] & (0x80 >> (length - 1))))
        ++length;
    if (length > maxLength || end - pos < static_cast<uint64_t>(length) ||
        (length > 1 && !in.Get(pos + 1, b + 1, length - 1)))
        return false;
    uint64_t value = keepMarker ? b[0] : b[0] & (0xFF >> length);
    bool allOnes = (b[0] & (0xFF >> length)) == (0xFF >> length);
    for (int i = 1; i < length; ++i) {
        value = (value << 8) | b[i];
        allOnes = allOnes && b[i] == 0xFF;
    }
    *pValue = value;
    *pLength = length;
    *pAllOnes = allOnes;
    return true;
}

// The element at pos; one of unknown size reaches to end. A size beyond end is a lie,
// except for the segment of a file cut short, which is taken as far as the file goes.
bool NextElement(Budget& in, uint64_t pos, uint64_t end, bool clampToEnd, Element* pEl)
{
    uint64_t id = 0, size = 0;
    int idLength = 0, sizeLength = 0;
    bool allOnes = false;
    if (!in.Visit() || !ReadVint(in, pos, end, 4, true, &id, &idLength, &allOnes) ||
        !ReadVint(in, pos + idLength, end, 8, false, &size, &sizeLength, &allOnes))
        return false;
    pEl->id = static_cast<uint32_t>(id);
    pEl->body = pos + idLength + sizeLength;
    pEl->unknownSize = allOnes;
    if (allOnes) {
        pEl->end = end;
    } else if (size <= end - pEl->body) {
        pEl->end = pEl->body + size;
    } else if (clampToEnd) {
        pEl->end = end;
    } else {
        return false;
    }
    return true;
}

bool ReadUnsigned(Budget& in, const Element& el, uint64_t* pValue)
{
    uint8_t b[8];
    const uint64_t length = el.end - el.body;
    if (el.unknownSize || length > 8 || (length && !in.Get(el.body, b, static_cast<size_t>(length))))
        return false;
    uint64_t v = 0;
    for (uint64_t i = 0; i < length; ++i)
        v = (v << 8) | b[i];
    *pValue = v;
    return true;
}

bool ReadFloat(Budget& in, const Element& el, double* pValue)
{
    uint8_t b[8];
    const uint64_t length = el.end - el.body;
    if (el.unknownSize || (length != 4 && length != 8) || !in.Get(el.body, b, static_cast<size_t>(length)))
        return false;
    if (length == 4) {
        const uint32_t bits = Be32(b);
        float f;
        std::memcpy(&f, &bits, 4);
        *pValue = f;
    } else {
        const uint64_t bits = Be64(b);
        std::memcpy(pValue, &bits, 8);
    }
    return true;
}

struct MkvVideo {
    uint64_t pixelW = 0, pixelH = 0, displayW = 0, displayH = 0, unit = 0;
    uint64_t crop[4] = {};  // bottom, top, left, right
    uint64_t interlaced = 0, fieldOrder = 2;
    uint64_t matrix = 2, range = 0, transfer = 2, primaries = 2;
    uint64_t projection = 0;
    bool hasRoll = false;
    double roll = 0;
};

void ReadMkvVideo(Budget& in, uint64_t pos, uint64_t end, int depth, MkvVideo* v)
{
    Element el;
    for (; depth < kMaxDepth && NextElement(in, pos, end, false, &el) && !el.unknownSize; pos = el.end) {
        uint64_t* field = nullptr;
        switch (el.id) {
        case 0xB0: field = &v->pixelW; break;
        case 0xBA: field = &v->pixelH; break;
        case 0x54B0: field = &v->displayW; break;
        case 0x54BA: field = &v->displayH; break;
        case 0x54B2: field = &v->unit; break;
        case 0x54AA: field = &v->crop[0]; break;
        case 0x54BB: field = &v->crop[1]; break;
        case 0x54CC: field = &v->crop[2]; break;
        case 0x54DD: field = &v->crop[3]; break;
        case 0x9A: field = &v->interlaced; break;
        case 0x9D: field = &v->fieldOrder; break;
        case 0x55B1: field = &v->matrix; break;
        case 0x55B9: field = &v->range; break;
        case 0x55BA: field = &v->transfer; break;
        case 0x55BB: field = &v->primaries; break;
        case 0x7671: field = &v->projection; break;
        case 0x55B0:  // Colour
        case 0x7670:  // Projection
            ReadMkvVideo(in, el.body, el.end, depth + 1, v);
            break;
        case 0x7675:
            v->hasRoll = ReadFloat(in, el, &v->roll);
            break;
        default:
            break;
        }
        if (field && !ReadUnsigned(in, el, field))
            *field = 0;
    }
}

void ApplyMkvVideo(const MkvVideo& v, ClipHeaders* pOut)
{
    // Display sizes in any unit give the picture's proportions; the picture is what the
    // crop leaves of the pixels.
    const uint64_t cropW = v.crop[2] + v.crop[3], cropH = v.crop[0] + v.crop[1];
    if (v.unit <= 3 && v.displayW && v.displayH && v.pixelW > cropW && v.pixelH > cropH &&
        v.displayW < (1u << 24) && v.displayH < (1u << 24) && v.pixelW < (1u << 24) && v.pixelH < (1u << 24))
        SetAspect(v.displayW * (v.pixelH - cropH), v.displayH * (v.pixelW - cropW), pOut);
    if (v.interlaced == 2 || v.fieldOrder == 0)
        pOut->interlace = kProgressive;
    else if (v.interlaced == 1)
        pOut->interlace = FieldOrder(static_cast<uint32_t>(v.fieldOrder));
    SetColourCodes(v.primaries, v.transfer, v.matrix, pOut);
    if (v.range == 1)
        pOut->range = kRangeLimited;
    else if (v.range == 2)
        pOut->range = kRangeFull;
    if (v.projection == 0 && v.hasRoll && v.roll > -361 && v.roll < 361) {
        // A roll of the upright turns (to the degree) only; positive is anticlockwise.
        const double r = v.roll < 0 ? v.roll + 360 : v.roll;
        for (int quarter = 0; quarter < 5; ++quarter)
            if (r > quarter * 90 - 1 && r < quarter * 90 + 1) {
                pOut->rotation = (360 - (quarter % 4) * 90) % 360;
                pOut->rotationStated = true;
            }
    }
}

// The first video track of the Tracks element.
bool ReadMkvTracks(Budget& in, uint64_t pos, uint64_t end, ClipHeaders* pOut)
{
    Element entry;
    for (; NextElement(in, pos, end, false, &entry) && !entry.unknownSize; pos = entry.end) {
        if (entry.id != 0xAE)
            continue;
        uint64_t type = 0;
        MkvVideo video;
        bool hasVideo = false;
        Element el;
        for (uint64_t p = entry.body; NextElement(in, p, entry.end, false, &el) && !el.unknownSize; p = el.end) {
            if (el.id == 0x83) {
                ReadUnsigned(in, el, &type);
            } else if (el.id == 0xE0) {
                ReadMkvVideo(in, el.body, el.end, 3, &video);
                hasVideo = true;
            }
        }
        if (type == 1 && hasVideo) {
            ApplyMkvVideo(video, pOut);
            return true;
        }
    }
    return false;
}

bool ReadMatroska(Budget& in, ClipHeaders* pOut)
{
    Element el;
    if (!NextElement(in, 0, in.Size(), false, &el) || el.id != 0x1A45DFA3 || el.unknownSize)
        return false;
    uint64_t pos = el.end;
    // The segment, after any padding.
    while (NextElement(in, pos, in.Size(), true, &el) && el.id != 0x18538067 && !el.unknownSize)
        pos = el.end;
    if (el.id != 0x18538067)
        return true;
    const uint64_t end = el.end;
    for (pos = el.body; NextElement(in, pos, end, false, &el); pos = el.end) {
        if (el.id == 0x1654AE6B) {
            ReadMkvTracks(in, el.body, el.end, pOut);
            break;
        }
        // Clusters of unknown size (a live recording) cannot be stepped over.
        if (el.unknownSize)
            break;
    }
    return true;
}

// --- AVI -------------------------------------------------------------------------------

struct Chunk {
    uint32_t id, listType;  // listType for RIFF and LIST chunks
    uint64_t body, end, next;
};

bool NextChunk(Budget& in, uint64_t pos, uint64_t end, bool clampToEnd, Chunk* pChunk)
{
    uint8_t h[12];
    if (pos >= end || end - pos < 8 || !in.Visit() || !in.Get(pos, h, 8))
        return false;
    uint64_t size = Le32(h + 4);
    if (size > end - pos - 8) {
        if (!clampToEnd)
            return false;
        size = end - pos - 8;
    }
    pChunk->id = Be32(h);
    pChunk->body = pos + 8;
    pChunk->end = pChunk->body + size;
    pChunk->next = pChunk->end + (size & 1);  // chunks are padded to an even length
    pChunk->listType = 0;
    if (pChunk->id == Tag("RIFF") || pChunk->id == Tag("LIST")) {
        if (size < 4 || !in.Get(pChunk->body, h + 8, 4))
            return false;
        pChunk->listType = Be32(h + 8);
        pChunk->body += 4;
    }
    return true;
}

// The video properties header of the first video stream list.
void ReadAviStreams(Budget& in, uint64_t pos, uint64_t end, ClipHeaders* pOut)
{
    Chunk list;
    for (; NextChunk(in, pos, end, false, &list); pos = list.next) {
        if (list.id != Tag("LIST") || list.listType != Tag("strl"))
            continue;
        bool video = false;
        Chunk c;
        for (uint64_t p = list.body; NextChunk(in, p, list.end, false, &c); p = c.next) {
            uint8_t b[36];
            if (c.id == Tag("strh") && c.end - c.body >= 4 && in.Get(c.body, b, 4)) {
                video = Be32(b) == Tag("vids");
                if (!video)
                    break;
            } else if (video && c.id == Tag("vprp") && c.end - c.body >= 36 && in.Get(c.body, b, 36)) {
                // Frame aspect ratio (x in the high word) over the frame's own proportions.
                const uint32_t aspect = Le32(b + 20), width = Le32(b + 24), height = Le32(b + 28);
                if (width && height && width < (1u << 24) && height < (1u << 24))
                    SetAspect(static_cast<uint64_t>(aspect >> 16) * height,
                              static_cast<uint64_t>(aspect & 0xFFFF) * width, pOut);
                const uint32_t fields = Le32(b + 32);
                if (fields == 1)
                    pOut->interlace = kProgressive;
                else if (fields == 2)
                    pOut->interlace = kInterlacedOrderUnstated;
            }
        }
        if (video)
            return;
    }
}

bool ReadAvi(Budget& in, ClipHeaders* pOut)
{
    Chunk riff;
    if (!NextChunk(in, 0, in.Size(), true, &riff) || riff.id != Tag("RIFF") || riff.listType != Tag("AVI "))
        return false;
    Chunk c;
    for (uint64_t pos = riff.body; NextChunk(in, pos, riff.end, false, &c); pos = c.next)
        if (c.id == Tag("LIST") && c.listType == Tag("hdrl")) {
            ReadAviStreams(in, c.body, c.end, pOut);
            break;
        }
    return true;
}

}  // namespace

bool ReadClipHeaders(ClipByteSource& source, ClipHeaders* pOut)
{
    *pOut = ClipHeaders();
    Budget in(source);
    uint8_t magic[4];
    if (!in.Get(0, magic, 4))
        return false;
    ClipHeaders found;
    bool known = false;
    if (Be32(magic) == 0x1A45DFA3) {
        known = ReadMatroska(in, &found);
    } else if (Be32(magic) == Tag("RIFF")) {
        known = ReadAvi(in, &found);
    } else if (IsMp4(in)) {
        bool done = false;
        WalkMp4(in, 0, in.Size(), 0, true, nullptr, &found, &done);
        known = true;
    }
    if (known)
        *pOut = found;
    return known;
}
