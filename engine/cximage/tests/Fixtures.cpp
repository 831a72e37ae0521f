#include "Fixtures.h"

#include <algorithm>
#include <map>

namespace cxfix {

void Put16(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v));
    b.push_back(uint8_t(v >> 8));
}
void Put32(Bytes& b, uint32_t v)
{
    Put16(b, v);
    Put16(b, v >> 16);
}
void Put16Be(Bytes& b, uint32_t v)
{
    b.push_back(uint8_t(v >> 8));
    b.push_back(uint8_t(v));
}
void Put32Be(Bytes& b, uint32_t v)
{
    Put16Be(b, v >> 16);
    Put16Be(b, v);
}

namespace {

struct BitWriter {
    Bytes bytes;
    uint32_t buffer = 0;
    int count = 0;
    void Put(int code, int width)
    {
        buffer |= uint32_t(code) << count;
        count += width;
        while (count >= 8) {
            bytes.push_back(uint8_t(buffer));
            buffer >>= 8;
            count -= 8;
        }
    }
    Bytes Finish()
    {
        if (count > 0)
            bytes.push_back(uint8_t(buffer));
        buffer = 0;
        count = 0;
        return bytes;
    }
};

Bytes SubBlocks(int minCodeSize, const Bytes& data)
{
    Bytes out{uint8_t(minCodeSize)};
    for (size_t i = 0; i < data.size(); i += 255) {
        const size_t n = std::min<size_t>(255, data.size() - i);
        out.push_back(uint8_t(n));
        out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
    out.push_back(0);
    return out;
}

} // namespace

Bytes GifLzw(const Bytes& indices, int minCodeSize)
{
    const int clear = 1 << minCodeSize, end = clear + 1;
    BitWriter w;
    int width = minCodeSize + 1;
    int nextCode = clear + 2;
    std::map<std::pair<int, int>, int> table;
    w.Put(clear, width);
    int prefix = -1;
    for (uint8_t c : indices) {
        if (prefix < 0) {
            prefix = c;
            continue;
        }
        auto found = table.find({prefix, c});
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        w.Put(prefix, width);
        table[{prefix, c}] = nextCode++;
        if (nextCode > (1 << width) && width < 12)
            ++width;
        if (nextCode == 4096) {
            w.Put(clear, width);
            table.clear();
            width = minCodeSize + 1;
            nextCode = clear + 2;
        }
        prefix = c;
    }
    if (prefix >= 0)
        w.Put(prefix, width);
    w.Put(end, width);
    return SubBlocks(minCodeSize, w.Finish());
}

Bytes GifCodes(int minCodeSize, const std::vector<std::pair<int, int>>& codesAndWidths)
{
    BitWriter w;
    for (const auto& cw : codesAndWidths)
        w.Put(cw.first, cw.second);
    return SubBlocks(minCodeSize, w.Finish());
}

Bytes ColourTable(const std::vector<uint32_t>& colours, int entries)
{
    Bytes t;
    for (int i = 0; i < entries; ++i) {
        const uint32_t c = i < int(colours.size()) ? colours[i] : 0;
        t.push_back(uint8_t(c >> 16));
        t.push_back(uint8_t(c >> 8));
        t.push_back(uint8_t(c));
    }
    return t;
}

namespace {

int TableBits(size_t bytes)
{
    int n = 0;
    while ((2u << n) * 3 < bytes)
        ++n;
    return n;
}

} // namespace

Bytes Gif(int screenWidth, int screenHeight, const Bytes& globalTable, const std::vector<GifFrame>& frames,
          bool withLoopExtension)
{
    Bytes g{'G', 'I', 'F', '8', '9', 'a'};
    Put16(g, uint32_t(screenWidth));
    Put16(g, uint32_t(screenHeight));
    g.push_back(globalTable.empty() ? 0 : uint8_t(0x80 | 0x70 | TableBits(globalTable.size())));
    g.push_back(0);
    g.push_back(0);
    g.insert(g.end(), globalTable.begin(), globalTable.end());
    if (withLoopExtension) {
        const uint8_t loop[] = {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0};
        g.insert(g.end(), loop, loop + sizeof loop);
    }
    for (const GifFrame& f : frames) {
        if (f.withControl) {
            const uint8_t flags = uint8_t((f.disposal << 2) | (f.transparent >= 0 ? 1 : 0));
            const uint8_t gce[] = {0x21, 0xF9, 4, flags, uint8_t(f.delay), uint8_t(f.delay >> 8),
                                   uint8_t(f.transparent >= 0 ? f.transparent : 0), 0};
            g.insert(g.end(), gce, gce + sizeof gce);
        }
        g.push_back(',');
        Put16(g, uint32_t(f.left));
        Put16(g, uint32_t(f.top));
        Put16(g, uint32_t(f.width));
        Put16(g, uint32_t(f.height));
        uint8_t flags = f.interlaced ? 0x40 : 0;
        if (!f.localTable.empty())
            flags |= uint8_t(0x80 | TableBits(f.localTable.size()));
        g.push_back(flags);
        g.insert(g.end(), f.localTable.begin(), f.localTable.end());
        if (!f.rawData.empty()) {
            g.insert(g.end(), f.rawData.begin(), f.rawData.end());
            continue;
        }
        const size_t tableBytes = f.localTable.empty() ? globalTable.size() : f.localTable.size();
        const int minCodeSize = std::max(2, TableBits(tableBytes) + 1);
        Bytes rows = f.indices;
        if (f.interlaced) {
            rows.clear();
            const int starts[] = {0, 4, 2, 1}, steps[] = {8, 8, 4, 2};
            for (int p = 0; p < 4; ++p)
                for (int y = starts[p]; y < f.height; y += steps[p])
                    rows.insert(rows.end(), f.indices.begin() + y * f.width, f.indices.begin() + (y + 1) * f.width);
        }
        const Bytes data = GifLzw(rows, minCodeSize);
        g.insert(g.end(), data.begin(), data.end());
    }
    g.push_back(';');
    return g;
}

Bytes PadRows(const Bytes& tight, int width, int bitsPerPixel, int height)
{
    const size_t tightRow = (size_t(width) * bitsPerPixel + 7) / 8;
    const size_t stride = ((size_t(width) * bitsPerPixel + 31) / 32) * 4;
    Bytes out;
    for (int y = 0; y < height; ++y) {
        out.insert(out.end(), tight.begin() + y * tightRow, tight.begin() + (y + 1) * tightRow);
        out.resize(out.size() + stride - tightRow, 0);
    }
    return out;
}

Bytes Bmp(const BmpSpec& s)
{
    Bytes info;
    if (s.headerSize == 12) {
        Put32(info, 12);
        Put16(info, uint32_t(s.width));
        Put16(info, uint32_t(s.height));
        Put16(info, 1);
        Put16(info, s.bits);
    } else {
        Put32(info, s.headerSize);
        Put32(info, uint32_t(s.width));
        Put32(info, uint32_t(s.height));
        Put16(info, 1);
        Put16(info, s.bits);
        Put32(info, s.compression);
        Put32(info, uint32_t(s.pixels.size()));
        Put32(info, uint32_t(s.pelsPerMeter));
        Put32(info, uint32_t(s.pelsPerMeter));
        Put32(info, s.colorsUsed);
        Put32(info, 0);
        info.insert(info.end(), s.masks.begin(), s.masks.end());
        if (info.size() < s.headerSize)
            info.resize(s.headerSize, 0);
    }
    Bytes b;
    const uint32_t offset = uint32_t(14 + info.size() + s.palette.size());
    if (s.fileHeader) {
        b = {'B', 'M'};
        Put32(b, uint32_t(offset + s.pixels.size()));
        Put32(b, 0);
        Put32(b, offset);
    }
    b.insert(b.end(), info.begin(), info.end());
    b.insert(b.end(), s.palette.begin(), s.palette.end());
    b.insert(b.end(), s.pixels.begin(), s.pixels.end());
    return b;
}

Bytes Ico(const std::vector<IcoImage>& images)
{
    Bytes b;
    Put16(b, 0);
    Put16(b, 1);
    Put16(b, uint32_t(images.size()));
    uint32_t offset = uint32_t(6 + 16 * images.size());
    std::vector<Bytes> bodies;
    for (const IcoImage& im : images) {
        Bytes body;
        Put32(body, 40);
        Put32(body, uint32_t(im.width));
        Put32(body, uint32_t(im.height * 2));
        Put16(body, 1);
        Put16(body, uint32_t(im.bits));
        Put32(body, 0);
        Put32(body, uint32_t(im.xorRows.size() + im.andRows.size()));
        Put32(body, 0);
        Put32(body, 0);
        Put32(body, uint32_t(im.palette.size() / 4));
        Put32(body, 0);
        body.insert(body.end(), im.palette.begin(), im.palette.end());
        body.insert(body.end(), im.xorRows.begin(), im.xorRows.end());
        body.insert(body.end(), im.andRows.begin(), im.andRows.end());
        b.push_back(uint8_t(im.width));
        b.push_back(uint8_t(im.height));
        b.push_back(0);
        b.push_back(0);
        Put16(b, 1);
        Put16(b, uint32_t(im.bits));
        Put32(b, uint32_t(body.size()));
        Put32(b, offset);
        offset += uint32_t(body.size());
        bodies.push_back(body);
    }
    for (const Bytes& body : bodies)
        b.insert(b.end(), body.begin(), body.end());
    return b;
}

Bytes TgaHeader(int imageType, int width, int height, int depth, int descriptor, int mapLength, int mapBits)
{
    Bytes h;
    h.push_back(0);
    h.push_back(mapLength ? 1 : 0);
    h.push_back(uint8_t(imageType));
    Put16(h, 0);
    Put16(h, uint32_t(mapLength));
    h.push_back(uint8_t(mapLength ? mapBits : 0));
    Put16(h, 0);
    Put16(h, 0);
    Put16(h, uint32_t(width));
    Put16(h, uint32_t(height));
    h.push_back(uint8_t(depth));
    h.push_back(uint8_t(descriptor));
    return h;
}

Bytes PcxEncode(const Bytes& raw)
{
    Bytes out;
    for (size_t i = 0; i < raw.size();) {
        size_t n = 1;
        while (i + n < raw.size() && raw[i + n] == raw[i] && n < 63)
            ++n;
        if (n > 1 || raw[i] >= 192) {
            out.push_back(uint8_t(192 | n));
            out.push_back(raw[i]);
        } else {
            out.push_back(raw[i]);
        }
        i += n;
    }
    return out;
}

Bytes Pcx(int bitsPerPlane, int planes, int width, int height, const Bytes& encoded, int bytesPerLine)
{
    Bytes h(128, 0);
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = uint8_t(bitsPerPlane);
    h[8] = uint8_t(width - 1);
    h[9] = uint8_t((width - 1) >> 8);
    h[10] = uint8_t(height - 1);
    h[11] = uint8_t((height - 1) >> 8);
    h[12] = 72;
    h[14] = 72;
    // Header palette: entry i = (16 i, 8 i, 255 - 16 i).
    for (int i = 0; i < 16; ++i) {
        h[16 + 3 * i] = uint8_t(16 * i);
        h[17 + 3 * i] = uint8_t(8 * i);
        h[18 + 3 * i] = uint8_t(255 - 16 * i);
    }
    h[65] = uint8_t(planes);
    h[66] = uint8_t(bytesPerLine);
    h[67] = uint8_t(bytesPerLine >> 8);
    h.insert(h.end(), encoded.begin(), encoded.end());
    return h;
}

Bytes Wbmp(int width, int height, const Bytes& rows)
{
    Bytes b{0, 0};
    auto multiByte = [&b](uint32_t v) {
        Bytes groups;
        do {
            groups.insert(groups.begin(), uint8_t(v & 0x7F));
            v >>= 7;
        } while (v);
        for (size_t i = 0; i + 1 < groups.size(); ++i)
            groups[i] |= 0x80;
        b.insert(b.end(), groups.begin(), groups.end());
    };
    multiByte(uint32_t(width));
    multiByte(uint32_t(height));
    b.insert(b.end(), rows.begin(), rows.end());
    return b;
}

Bytes Ska(int width, int height, const Bytes& paletteRgb, const Bytes& indices)
{
    Bytes b;
    Put16(b, uint32_t(width));
    Put16(b, uint32_t(height));
    b.push_back(3);
    Put32(b, 0x01000000);
    b.insert(b.end(), paletteRgb.begin(), paletteRgb.end());
    b.resize(9 + 768, 0);
    b.insert(b.end(), indices.begin(), indices.end());
    return b;
}

Bytes PackBits(const Bytes& row)
{
    Bytes out;
    for (size_t i = 0; i < row.size();) {
        size_t run = 1;
        while (i + run < row.size() && row[i + run] == row[i] && run < 128)
            ++run;
        if (run >= 2) {
            out.push_back(uint8_t(257 - run));
            out.push_back(row[i]);
            i += run;
            continue;
        }
        size_t literal = 1;
        while (i + literal < row.size() && literal < 128 &&
               !(i + literal + 1 < row.size() && row[i + literal] == row[i + literal + 1]))
            ++literal;
        out.push_back(uint8_t(literal - 1));
        out.insert(out.end(), row.begin() + i, row.begin() + i + literal);
        i += literal;
    }
    return out;
}

Bytes PsdResource(int id, const Bytes& data)
{
    Bytes b{'8', 'B', 'I', 'M'};
    Put16Be(b, uint32_t(id));
    b.push_back(0); // empty name, padded to two bytes
    b.push_back(0);
    Put32Be(b, uint32_t(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() & 1)
        b.push_back(0);
    return b;
}

Bytes Psd(const PsdSpec& s)
{
    Bytes b{'8', 'B', 'P', 'S'};
    Put16Be(b, 1);
    b.resize(b.size() + 6, 0);
    Put16Be(b, uint32_t(s.channels));
    Put32Be(b, uint32_t(s.rows));
    Put32Be(b, uint32_t(s.columns));
    Put16Be(b, uint32_t(s.depth));
    Put16Be(b, uint32_t(s.mode));
    Put32Be(b, uint32_t(s.modeData.size()));
    b.insert(b.end(), s.modeData.begin(), s.modeData.end());
    Put32Be(b, uint32_t(s.resources.size()));
    b.insert(b.end(), s.resources.begin(), s.resources.end());
    Put32Be(b, 0); // no layers
    Put16Be(b, s.packBits ? 1 : 0);
    if (!s.packBits) {
        for (const Bytes& p : s.planes)
            b.insert(b.end(), p.begin(), p.end());
        return b;
    }
    std::vector<Bytes> packedRows;
    for (const Bytes& p : s.planes)
        for (int y = 0; y < s.rows; ++y)
            packedRows.push_back(PackBits(Bytes(p.begin() + y * s.columns, p.begin() + (y + 1) * s.columns)));
    for (const Bytes& r : packedRows)
        Put16Be(b, uint32_t(r.size()));
    for (const Bytes& r : packedRows)
        b.insert(b.end(), r.begin(), r.end());
    return b;
}

Bytes PlaceableWmf(int right, int bottom, int unitsPerInch, uint32_t colourRef)
{
    Bytes records;
    auto record = [&records](uint16_t function, const std::vector<uint16_t>& params) {
        Put32(records, uint32_t(3 + params.size()));
        Put16(records, function);
        for (uint16_t p : params)
            Put16(records, p);
    };
    record(0x020B, {0, 0});                                              // SetWindowOrg
    record(0x020C, {uint16_t(bottom), uint16_t(right)});                 // SetWindowExt
    record(0x02FC, {0, uint16_t(colourRef), uint16_t(colourRef >> 16), 0}); // CreateBrushIndirect
    record(0x012D, {0});                                                 // SelectObject
    record(0x041B, {uint16_t(bottom + 1), uint16_t(right + 1), 0, 0});  // Rectangle
    record(0x0000, {});                                                  // EOF

    Bytes header;
    Put16(header, 1);  // memory metafile
    Put16(header, 9);  // header size in words
    Put16(header, 0x0300);
    Put32(header, uint32_t((18 + records.size()) / 2));
    Put16(header, 1);  // objects
    Put32(header, 7);  // largest record in words
    Put16(header, 0);

    Bytes p;
    Put32(p, 0x9AC6CDD7u);
    Put16(p, 0);
    Put16(p, 0);
    Put16(p, 0);
    Put16(p, uint32_t(right));
    Put16(p, uint32_t(bottom));
    Put16(p, uint32_t(unitsPerInch));
    Put32(p, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum ^= uint16_t(p[i] | (p[i + 1] << 8));
    Put16(p, sum);
    p.insert(p.end(), header.begin(), header.end());
    p.insert(p.end(), records.begin(), records.end());
    return p;
}

Bytes Emf(int left, int top, int right, int bottom)
{
    Bytes h;
    Put32(h, 1);   // EMR_HEADER
    Put32(h, 108); // record size
    for (int v : {left, top, right, bottom})
        Put32(h, uint32_t(v));
    for (int v : {0, 0, (right - left) * 26, (bottom - top) * 26}) // frame, 0.01 mm
        Put32(h, uint32_t(v));
    Put32(h, 0x464D4520u);
    Put32(h, 0x10000);
    Put32(h, 108 + 20); // total bytes
    Put32(h, 2);        // records
    Put16(h, 1);        // handles
    Put16(h, 0);
    Put32(h, 0); // description
    Put32(h, 0);
    Put32(h, 0); // palette entries
    Put32(h, 1024);
    Put32(h, 768);
    Put32(h, 270);
    Put32(h, 203);
    Put32(h, 0); // pixel format
    Put32(h, 0);
    Put32(h, 0); // OpenGL
    Put32(h, 270000);
    Put32(h, 203000);
    // EMR_EOF
    Put32(h, 14);
    Put32(h, 20);
    Put32(h, 0);
    Put32(h, 16);
    Put32(h, 20);
    return h;
}

std::vector<NamedFixture> AllFixtures()
{
    std::vector<NamedFixture> all;
    // GIF: two frames with a local table, transparency and interlace.
    {
        GifFrame a;
        a.width = 4;
        a.height = 3;
        a.indices = {0, 1, 2, 3, 3, 2, 1, 0, 1, 1, 2, 2};
        a.transparent = 3;
        a.delay = 7;
        GifFrame b = a;
        b.left = 1;
        b.top = 1;
        b.width = 2;
        b.height = 2;
        b.indices = {1, 0, 0, 1};
        b.interlaced = true;
        b.localTable = ColourTable({0xFF0000, 0x00FF00}, 2);
        all.push_back({"two_frames.gif", 2, Gif(4, 3, ColourTable({0, 0xFFFFFF, 0x0000FF, 0x808080}, 4), {a, b})});
    }
    {
        BmpSpec s;
        s.width = 3;
        s.height = 2;
        s.bits = 8;
        s.palette = {0, 0, 0, 0, 255, 255, 255, 0, 0, 0, 255, 0};
        s.colorsUsed = 3;
        s.pixels = PadRows({0, 1, 2, 2, 1, 0}, 3, 8, 2);
        all.push_back({"indexed.bmp", 1, Bmp(s)});
        BmpSpec t;
        t.width = 2;
        t.height = 2;
        t.bits = 32;
        t.pixels = {1, 2, 3, 128, 4, 5, 6, 255, 7, 8, 9, 0, 10, 11, 12, 64};
        all.push_back({"alpha32.bmp", 1, Bmp(t)});
        BmpSpec r;
        r.width = 4;
        r.height = 2;
        r.bits = 8;
        r.compression = 1;
        r.palette = Bytes(16, 0);
        r.colorsUsed = 4;
        r.pixels = {4, 1, 0, 0, 0, 3, 2, 3, 1, 0, 0, 1};
        all.push_back({"rle8.bmp", 1, Bmp(r)});
    }
    {
        IcoImage im;
        im.width = 2;
        im.height = 2;
        im.bits = 8;
        im.palette = Bytes(256 * 4, 0);
        im.palette[4] = 255;
        im.xorRows = PadRows({0, 1, 1, 0}, 2, 8, 2);
        im.andRows = {0x40, 0, 0, 0, 0x80, 0, 0, 0};
        all.push_back({"masked.ico", 5, Ico({im, im})});
    }
    {
        Bytes t = TgaHeader(10, 3, 2, 24, 0);
        const Bytes data = {0x81, 1, 2, 3, 0x01, 4, 5, 6, 7, 8, 9, 0x80, 10, 11, 12};
        t.insert(t.end(), data.begin(), data.end());
        all.push_back({"rle.tga", 7, t});
    }
    {
        const Bytes raw = {0, 1, 2, 3, 3, 3, 3, 3};
        Bytes p = Pcx(8, 1, 4, 2, PcxEncode(raw), 4);
        p.push_back(12);
        for (int i = 0; i < 256; ++i) {
            p.push_back(uint8_t(i));
            p.push_back(uint8_t(255 - i));
            p.push_back(uint8_t(i / 2));
        }
        all.push_back({"indexed.pcx", 8, p});
    }
    all.push_back({"small.wbmp", 9, Wbmp(10, 2, {0xF0, 0x40, 0x0F, 0xC0})});
    all.push_back({"small.ska", 18, Ska(3, 2, ColourTable({0xFF0000, 0x00FF00, 0x0000FF}, 3), {0, 1, 2, 2, 1, 0})});
    {
        PsdSpec s;
        s.rows = 2;
        s.columns = 3;
        s.channels = 3;
        s.planes = {{10, 20, 30, 40, 50, 60}, {1, 1, 1, 2, 2, 2}, {200, 200, 200, 200, 100, 100}};
        s.packBits = true;
        Bytes res = {0, 72, 0, 0, 0, 1, 0, 1, 0, 72, 0, 0, 0, 1, 0, 1};
        s.resources = PsdResource(1005, res);
        all.push_back({"rgb.psd", 20, Psd(s)});
    }
    all.push_back({"rect.wmf", 10, PlaceableWmf(200, 100, 96, 0x0000FF)});
    all.push_back({"empty.emf", 10, Emf(0, 0, 30, 20)});
    return all;
}

std::vector<NamedFixture> FuzzFindings()
{
    return {
        // fuzz_bmp: 16-bit BMP whose 0x7FFFFFFA pixels per metre came back from
        // dots per inch beyond the header's 32-bit field.
        {"bmp_resolution_overflow.bmp", 1,
         {0x42, 0x4d, 0x52, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00,
          0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x00, 0x42, 0x10, 0x00, 0x00, 0x28, 0x00, 0x00,
          0x00, 0x00, 0x00, 0x00, 0xfa, 0xff, 0xff, 0x7f, 0x3b, 0xf1, 0xff, 0xff, 0x04, 0x00, 0x00, 0x00, 0x00,
          0x00, 0x00, 0x42, 0x10, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x80,
          0x00, 0x00, 0x04, 0x01, 0x00, 0x00, 0xfe, 0xfc, 0x00, 0xf8, 0xf7, 0xef, 0x00, 0x0a}},
    };
}

} // namespace cxfix
