// Just enough of Matroska and MP4 to check what the recorder wrote.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace rectest {

inline std::vector<uint8_t> ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct TrackSummary {
    std::string codec;        // Matroska CodecID or MP4 sample entry type
    std::string kind;         // "video" or "audio"
    int width = 0, height = 0, channels = 0;
    double sampleRate = 0;
    int packets = 0;
    std::vector<int> keyIndexes;  // packet indexes flagged as key frames
    int64_t lastTime = -1;        // Matroska: last block time in ms
    std::vector<uint8_t> payload; // Matroska: the blocks' bytes, in order
};

struct FileSummary {
    bool valid = false;
    std::string docType;          // "matroska" or "mp4"
    std::vector<TrackSummary> tracks;
    const TrackSummary* Find(const std::string& kind) const
    {
        for (const TrackSummary& t : tracks)
            if (t.kind == kind)
                return &t;
        return nullptr;
    }
};

// ---- Matroska (EBML)

class MkvWalker {
public:
    explicit MkvWalker(const std::vector<uint8_t>& d) : m_d(d) {}

    FileSummary Walk()
    {
        FileSummary s;
        m_summary = &s;
        s.valid = Elements(0, m_d.size(), 0);
        if (s.docType.empty())
            s.valid = false;
        return s;
    }

private:
    bool ReadVint(size_t& pos, size_t end, uint64_t& value, bool keepMarker, bool& unknown)
    {
        if (pos >= end)
            return false;
        uint8_t first = m_d[pos];
        int length = 1;
        while (length <= 8 && !(first & (0x80 >> (length - 1))))
            ++length;
        if (length > 8 || pos + length > end)
            return false;
        value = keepMarker ? first : (first & (0xFF >> length));
        bool allOnes = (value == uint64_t(0xFF >> length));
        for (int i = 1; i < length; ++i) {
            value = (value << 8) | m_d[pos + i];
            allOnes = allOnes && m_d[pos + i] == 0xFF;
        }
        unknown = !keepMarker && allOnes;
        pos += length;
        return true;
    }

    uint64_t Uint(size_t pos, size_t size)
    {
        uint64_t v = 0;
        for (size_t i = 0; i < size; ++i)
            v = (v << 8) | m_d[pos + i];
        return v;
    }

    bool Elements(size_t pos, size_t end, int depth)
    {
        while (pos < end) {
            uint64_t id = 0, size = 0;
            bool unknown = false, dummy = false;
            if (!ReadVint(pos, end, id, true, dummy) || !ReadVint(pos, end, size, false, unknown))
                return false;
            if (unknown)
                size = end - pos;
            if (pos + size > end)
                return false;
            if (!Element(uint32_t(id), pos, size_t(size), depth))
                return false;
            pos += size_t(size);
        }
        return true;
    }

    bool Element(uint32_t id, size_t pos, size_t size, int depth)
    {
        FileSummary& s = *m_summary;
        switch (id) {
        case 0x1A45DFA3: case 0x18538067: case 0x1654AE6B: case 0x1F43B675: case 0xA0:
        case 0xE0: case 0xE1:
            return Elements(pos, pos + size, depth + 1);
        case 0xAE:  // TrackEntry
            s.tracks.emplace_back();
            m_trackNumbers.push_back(0);
            return Elements(pos, pos + size, depth + 1);
        case 0x4282: s.docType.assign(reinterpret_cast<const char*>(&m_d[pos]), size); break;
        case 0xD7: if (!s.tracks.empty()) m_trackNumbers.back() = Uint(pos, size); break;
        case 0x83:
            if (!s.tracks.empty())
                s.tracks.back().kind = Uint(pos, size) == 1 ? "video" : Uint(pos, size) == 2 ? "audio" : "other";
            break;
        case 0x86: if (!s.tracks.empty()) s.tracks.back().codec.assign(reinterpret_cast<const char*>(&m_d[pos]), size); break;
        case 0xB0: if (!s.tracks.empty()) s.tracks.back().width = int(Uint(pos, size)); break;
        case 0xBA: if (!s.tracks.empty()) s.tracks.back().height = int(Uint(pos, size)); break;
        case 0x9F: if (!s.tracks.empty()) s.tracks.back().channels = int(Uint(pos, size)); break;
        case 0xB5:
            if (!s.tracks.empty()) {
                if (size == 8) {
                    uint64_t bits = Uint(pos, 8);
                    double v;
                    memcpy(&v, &bits, 8);
                    s.tracks.back().sampleRate = v;
                } else if (size == 4) {
                    uint32_t bits = uint32_t(Uint(pos, 4));
                    float v;
                    memcpy(&v, &bits, 4);
                    s.tracks.back().sampleRate = v;
                }
            }
            break;
        case 0xE7: m_clusterTime = int64_t(Uint(pos, size)); break;
        case 0xA3: case 0xA1: {  // SimpleBlock, Block
            size_t p = pos;
            uint64_t track = 0;
            bool unknown = false;
            if (!ReadVint(p, pos + size, track, false, unknown) || p + 3 > pos + size)
                return false;
            int16_t relative = int16_t((m_d[p] << 8) | m_d[p + 1]);
            bool key = id == 0xA3 ? (m_d[p + 2] & 0x80) != 0 : true;
            for (size_t i = 0; i < m_trackNumbers.size(); ++i) {
                if (m_trackNumbers[i] != track)
                    continue;
                TrackSummary& t = s.tracks[i];
                if (key)
                    t.keyIndexes.push_back(t.packets);
                ++t.packets;
                t.lastTime = m_clusterTime + relative;
                t.payload.insert(t.payload.end(), m_d.begin() + (p + 3), m_d.begin() + (pos + size));
            }
            break;
        }
        default:
            break;
        }
        return true;
    }

    const std::vector<uint8_t>& m_d;
    FileSummary* m_summary = nullptr;
    std::vector<uint64_t> m_trackNumbers;
    int64_t m_clusterTime = 0;
};

// ---- MP4 (ISO boxes)

class Mp4Walker {
public:
    explicit Mp4Walker(const std::vector<uint8_t>& d) : m_d(d) {}

    FileSummary Walk()
    {
        FileSummary s;
        m_summary = &s;
        s.valid = Boxes(0, m_d.size()) && m_sawFtyp && m_sawMoov;
        s.docType = "mp4";
        return s;
    }

private:
    uint32_t U32(size_t p) const { return (uint32_t(m_d[p]) << 24) | (m_d[p + 1] << 16) | (m_d[p + 2] << 8) | m_d[p + 3]; }
    uint16_t U16(size_t p) const { return uint16_t((m_d[p] << 8) | m_d[p + 1]); }

    bool Boxes(size_t pos, size_t end)
    {
        while (pos + 8 <= end) {
            uint64_t size = U32(pos);
            std::string type(reinterpret_cast<const char*>(&m_d[pos + 4]), 4);
            size_t header = 8;
            if (size == 1) {
                if (pos + 16 > end)
                    return false;
                size = (uint64_t(U32(pos + 8)) << 32) | U32(pos + 12);
                header = 16;
            } else if (size == 0) {
                size = end - pos;
            }
            if (size < header || pos + size > end)
                return false;
            if (!Box(type, pos + header, size_t(size) - header))
                return false;
            pos += size_t(size);
        }
        return pos == end;
    }

    bool Box(const std::string& type, size_t p, size_t size)
    {
        FileSummary& s = *m_summary;
        if (type == "ftyp")
            m_sawFtyp = true;
        if (type == "moov")
            m_sawMoov = true;
        if (type == "moov" || type == "mdia" || type == "minf" || type == "stbl")
            return Boxes(p, p + size);
        if (type == "trak") {
            s.tracks.emplace_back();
            return Boxes(p, p + size);
        }
        if (s.tracks.empty())
            return true;
        TrackSummary& t = s.tracks.back();
        if (type == "hdlr" && size >= 12) {
            std::string handler(reinterpret_cast<const char*>(&m_d[p + 8]), 4);
            t.kind = handler == "vide" ? "video" : handler == "soun" ? "audio" : handler;
        } else if (type == "stsd" && size >= 16) {
            size_t entry = p + 8;
            t.codec.assign(reinterpret_cast<const char*>(&m_d[entry + 4]), 4);
            if (t.codec == "avc1" && size >= 8 + 8 + 36) {
                t.width = U16(entry + 8 + 24);
                t.height = U16(entry + 8 + 26);
            } else if (t.codec == "mp4a" && size >= 8 + 8 + 28) {
                t.channels = U16(entry + 8 + 16);
                t.sampleRate = U16(entry + 8 + 24);
            }
        } else if (type == "stsz" && size >= 12) {
            t.packets = int(U32(p + 8));
        } else if (type == "stss" && size >= 8) {
            uint32_t count = U32(p + 4);
            for (uint32_t i = 0; i < count && p + 8 + 4 * i + 4 <= p + size; ++i)
                t.keyIndexes.push_back(int(U32(p + 8 + 4 * i)) - 1);
        }
        return true;
    }

    const std::vector<uint8_t>& m_d;
    FileSummary* m_summary = nullptr;
    bool m_sawFtyp = false;
    bool m_sawMoov = false;
};

inline FileSummary SummariseFile(const std::string& path)
{
    std::vector<uint8_t> data = ReadWholeFile(path);
    if (data.size() >= 4 && data[0] == 0x1A && data[1] == 0x45 && data[2] == 0xDF && data[3] == 0xA3)
        return MkvWalker(data).Walk();
    if (data.size() >= 8 && memcmp(&data[4], "ftyp", 4) == 0)
        return Mp4Walker(data).Walk();
    return FileSummary();
}

} // namespace rectest
