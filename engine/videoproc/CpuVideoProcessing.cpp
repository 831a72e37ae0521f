#include "CpuVideoProcessing.h"

#include <emmintrin.h>

#include <cmath>
#include <cstring>

namespace {

// floor(x / count) as (x * Reciprocal(count)) >> 19, exact for the sums of
// up to 29 bytes plus rounding (x < 7,500) that the boxes produce.
uint32_t Reciprocal(int count)
{
    return (1u << 19) / (uint32_t)count + 1;
}

// Weight of a neighbour in 1/65536: exp(-(patch distance x k + spatial term)).
// exp(-11.1) x 65536 < 1: such weights are 0 without asking exp.
uint32_t NeighbourWeight(uint32_t distance, int spatial, float k)
{
    const double exponent = (double)distance * k / 65536.0 + spatial * 0.020408163;
    return exponent > 11.1 ? 0 : (uint32_t)(std::exp(-exponent) * 65536.0);
}

// Marks a weight cache entry not yet computed; real neighbour weights stay
// below exp(-1/49) x 65536 < 65535.
const uint16_t kUnknownWeight = 0xFFFF;

// Running-sum box over one packed RGB24 line: output i averages the samples
// i - left .. i + right that lie inside the line, rounded. reciprocal[n]
// serves counts n up to left + right + 1.
void BoxPass(const uint8_t* in, uint8_t* out, int length, int left, int right, const uint32_t* reciprocal)
{
    uint32_t sum[3] = {0, 0, 0};
    int lo = 0, hi = -1;
    auto edge = [&](int i) {
        const int newLo = i - left > 0 ? i - left : 0;
        const int newHi = i + right < length - 1 ? i + right : length - 1;
        while (hi < newHi) {
            ++hi;
            sum[0] += in[hi * 3];
            sum[1] += in[hi * 3 + 1];
            sum[2] += in[hi * 3 + 2];
        }
        while (lo < newLo) {
            sum[0] -= in[lo * 3];
            sum[1] -= in[lo * 3 + 1];
            sum[2] -= in[lo * 3 + 2];
            ++lo;
        }
        const int count = hi - lo + 1;
        const uint32_t half = (uint32_t)count / 2, r = reciprocal[count];
        out[i * 3] = (uint8_t)(((sum[0] + half) * r) >> 19);
        out[i * 3 + 1] = (uint8_t)(((sum[1] + half) * r) >> 19);
        out[i * 3 + 2] = (uint8_t)(((sum[2] + half) * r) >> 19);
    };
    int i = 0;
    for (; i < length && i <= left; ++i)
        edge(i);
    // Inside the line the window slides by one sample: one in, one out.
    if (i < length - right && hi == i - 1 + right && lo == i - 1 - left) {
        const int count = left + right + 1;
        const uint32_t half = (uint32_t)count / 2, r = reciprocal[count];
        uint32_t s0 = sum[0], s1 = sum[1], s2 = sum[2];
        if (r < 65536) {
            // A pixel's three sums in 16-bit lanes 1..3; (x * r) >> 19 is
            // mulhi(x, r) >> 3 while r fits 16 bits. Pixels are read 4 bytes
            // wide without leaving the line: the entering one with the byte
            // before it, the leaving one (far from the end) with the byte after.
            const __m128i zero = _mm_setzero_si128();
            const __m128i vHalf = _mm_set1_epi16((short)half), vR = _mm_set1_epi16((short)r);
            __m128i sums = _mm_setr_epi16(0, (short)s0, (short)s1, (short)s2, 0, 0, 0, 0);
            auto fourBytes = [&](const uint8_t* p) {
                uint32_t bytes;
                std::memcpy(&bytes, p, 4);
                return _mm_unpacklo_epi8(_mm_cvtsi32_si128((int)bytes), zero);
            };
            for (; i < length - right; ++i) {
                const __m128i enter = fourBytes(in + (i + right) * 3 - 1);
                const __m128i leave = _mm_slli_si128(fourBytes(in + (i - left - 1) * 3), 2);
                sums = _mm_sub_epi16(_mm_add_epi16(sums, enter), leave);
                const __m128i q = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(sums, vHalf), vR), 3);
                const uint32_t packed = (uint32_t)_mm_cvtsi128_si32(_mm_packus_epi16(q, zero)) >> 8;
                std::memcpy(out + i * 3, &packed, 3);
            }
            s0 = (uint16_t)_mm_extract_epi16(sums, 1);
            s1 = (uint16_t)_mm_extract_epi16(sums, 2);
            s2 = (uint16_t)_mm_extract_epi16(sums, 3);
        }
        for (; i < length - right; ++i) {
            const uint8_t* enter = in + (i + right) * 3;
            const uint8_t* leave = in + (i - left - 1) * 3;
            s0 += enter[0] - leave[0];
            s1 += enter[1] - leave[1];
            s2 += enter[2] - leave[2];
            out[i * 3] = (uint8_t)(((s0 + half) * r) >> 19);
            out[i * 3 + 1] = (uint8_t)(((s1 + half) * r) >> 19);
            out[i * 3 + 2] = (uint8_t)(((s2 + half) * r) >> 19);
        }
        sum[0] = s0;
        sum[1] = s1;
        sum[2] = s2;
        lo = i - 1 - left;
        hi = i - 1 + right;
    }
    for (; i < length; ++i)
        edge(i);
}

// 8 x 8 transpose of 16-bit values: out[k] lane j = in[j] lane k.
void Transpose8x8(const __m128i* in, __m128i* out)
{
    const __m128i t0 = _mm_unpacklo_epi16(in[0], in[1]), t1 = _mm_unpackhi_epi16(in[0], in[1]);
    const __m128i t2 = _mm_unpacklo_epi16(in[2], in[3]), t3 = _mm_unpackhi_epi16(in[2], in[3]);
    const __m128i t4 = _mm_unpacklo_epi16(in[4], in[5]), t5 = _mm_unpackhi_epi16(in[4], in[5]);
    const __m128i t6 = _mm_unpacklo_epi16(in[6], in[7]), t7 = _mm_unpackhi_epi16(in[6], in[7]);
    const __m128i u0 = _mm_unpacklo_epi32(t0, t2), u1 = _mm_unpackhi_epi32(t0, t2);
    const __m128i u2 = _mm_unpacklo_epi32(t1, t3), u3 = _mm_unpackhi_epi32(t1, t3);
    const __m128i u4 = _mm_unpacklo_epi32(t4, t6), u5 = _mm_unpackhi_epi32(t4, t6);
    const __m128i u6 = _mm_unpacklo_epi32(t5, t7), u7 = _mm_unpackhi_epi32(t5, t7);
    out[0] = _mm_unpacklo_epi64(u0, u4);
    out[1] = _mm_unpackhi_epi64(u0, u4);
    out[2] = _mm_unpacklo_epi64(u1, u5);
    out[3] = _mm_unpackhi_epi64(u1, u5);
    out[4] = _mm_unpacklo_epi64(u2, u6);
    out[5] = _mm_unpackhi_epi64(u2, u6);
    out[6] = _mm_unpacklo_epi64(u3, u7);
    out[7] = _mm_unpackhi_epi64(u3, u7);
}

// Eight rows of rowBytes (at least 16) bytes into columns: columns[j] holds
// byte j of the eight rows as 16-bit lanes.
void RowsToColumns(const uint8_t* rows, size_t stride, int rowBytes, __m128i* columns)
{
    const __m128i zero = _mm_setzero_si128();
    for (int j = 0;; j += 16) {
        if (j > rowBytes - 16)
            j = rowBytes - 16;  // the last 16 bytes, overlapping the previous step
        __m128i lo[8], hi[8];
        for (int k = 0; k < 8; ++k) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows + k * stride + j));
            lo[k] = _mm_unpacklo_epi8(v, zero);
            hi[k] = _mm_unpackhi_epi8(v, zero);
        }
        Transpose8x8(lo, columns + j);
        Transpose8x8(hi, columns + j + 8);
        if (j == rowBytes - 16)
            break;
    }
}

// The way back, bytes saturated (the values are bytes already).
void ColumnsToRows(const __m128i* columns, int rowBytes, uint8_t* rows, size_t stride)
{
    for (int j = 0;; j += 16) {
        if (j > rowBytes - 16)
            j = rowBytes - 16;
        __m128i lo[8], hi[8];
        Transpose8x8(columns + j, lo);
        Transpose8x8(columns + j + 8, hi);
        for (int k = 0; k < 8; ++k)
            _mm_storeu_si128(reinterpret_cast<__m128i*>(rows + k * stride + j), _mm_packus_epi16(lo[k], hi[k]));
        if (j == rowBytes - 16)
            break;
    }
}

// BoxPass on eight rows at once, over their columns (see RowsToColumns):
// the same sums, counts and rounding, one row per 16-bit lane. Needs
// length > left + right and every count's reciprocal below 65536.
void BoxPassColumns(const __m128i* in, __m128i* out, int length, int left, int right, const uint32_t* reciprocal)
{
    __m128i sum[3] = {_mm_setzero_si128(), _mm_setzero_si128(), _mm_setzero_si128()};
    int lo = 0, hi = -1;
    auto edge = [&](int i) {
        const int newLo = i - left > 0 ? i - left : 0;
        const int newHi = i + right < length - 1 ? i + right : length - 1;
        for (; hi < newHi; ++hi)
            for (int c = 0; c < 3; ++c)
                sum[c] = _mm_add_epi16(sum[c], in[(hi + 1) * 3 + c]);
        for (; lo < newLo; ++lo)
            for (int c = 0; c < 3; ++c)
                sum[c] = _mm_sub_epi16(sum[c], in[lo * 3 + c]);
        const int count = hi - lo + 1;
        const __m128i half = _mm_set1_epi16((short)(count / 2)), r = _mm_set1_epi16((short)reciprocal[count]);
        for (int c = 0; c < 3; ++c)
            out[i * 3 + c] = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(sum[c], half), r), 3);
    };
    int i = 0;
    for (; i <= left; ++i)
        edge(i);
    // Inside the line one pixel enters and one leaves.
    const int count = left + right + 1;
    const __m128i half = _mm_set1_epi16((short)(count / 2)), r = _mm_set1_epi16((short)reciprocal[count]);
    __m128i s0 = sum[0], s1 = sum[1], s2 = sum[2];
    for (; i < length - right; ++i) {
        const __m128i* enter = in + (i + right) * 3;
        const __m128i* leave = in + (i - left - 1) * 3;
        s0 = _mm_add_epi16(s0, _mm_sub_epi16(enter[0], leave[0]));
        s1 = _mm_add_epi16(s1, _mm_sub_epi16(enter[1], leave[1]));
        s2 = _mm_add_epi16(s2, _mm_sub_epi16(enter[2], leave[2]));
        out[i * 3] = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(s0, half), r), 3);
        out[i * 3 + 1] = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(s1, half), r), 3);
        out[i * 3 + 2] = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(s2, half), r), 3);
    }
    sum[0] = s0;
    sum[1] = s1;
    sum[2] = s2;
    lo = i - 1 - left;
    hi = i - 1 + right;
    for (; i < length; ++i)
        edge(i);
}

// The 8 x 8 box sums of a band of block rows: for r = 0..7, boxes[r][j] is
// the sum of byte j's neighbours (same byte of the pixel) at pixel offsets
// -3..4 across and rows top + r .. top + r + 7, for the bytes j whose
// neighbours lie inside the row (9 <= j < rowBytes - 12). column, pairs and
// quads are scratch rows of rowBytes values.
void BandBoxSums(const uint8_t* top, int stride, int rowBytes, uint16_t* boxes, uint16_t* column, uint16_t* pairs,
                 uint16_t* quads)
{
    const __m128i zero = _mm_setzero_si128();
    for (int j = 0; j < rowBytes; ++j) {
        uint16_t s = 0;
        for (int rho = 0; rho < 8; ++rho)
            s = (uint16_t)(s + top[(ptrdiff_t)rho * stride + j]);
        column[j] = s;
    }
    // Eight taps three bytes apart by doubling: 2 taps, 4 taps, 8 taps. Each
    // loop's last step is moved back to end exactly at its bound.
    auto sumShifted = [](const uint16_t* in, int shift, uint16_t* out, int count) {
        for (int j = 0;; j += 8) {
            if (j > count - 8)
                j = count - 8;
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + j + shift));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_add_epi16(a, b));
            if (j == count - 8)
                break;
        }
    };
    for (int r = 0; r < 8; ++r) {
        if (r > 0) {
            const uint8_t* enter = top + (ptrdiff_t)(r + 7) * stride;
            const uint8_t* leave = top + (ptrdiff_t)(r - 1) * stride;
            int j = 0;
            for (; j + 16 <= rowBytes; j += 16) {
                const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(enter + j));
                const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(leave + j));
                __m128i* c = reinterpret_cast<__m128i*>(column + j);
                _mm_storeu_si128(c, _mm_sub_epi16(_mm_add_epi16(_mm_loadu_si128(c), _mm_unpacklo_epi8(e, zero)),
                                                  _mm_unpacklo_epi8(l, zero)));
                _mm_storeu_si128(c + 1, _mm_sub_epi16(_mm_add_epi16(_mm_loadu_si128(c + 1), _mm_unpackhi_epi8(e, zero)),
                                                      _mm_unpackhi_epi8(l, zero)));
            }
            for (; j < rowBytes; ++j)
                column[j] = (uint16_t)(column[j] + enter[j] - leave[j]);
        }
        sumShifted(column, 3, pairs, rowBytes - 3);
        sumShifted(pairs, 6, quads, rowBytes - 9);
        sumShifted(quads, 12, boxes + (size_t)r * rowBytes + 9, rowBytes - 21);
    }
}

// One step of the column box: sums += enter - leave, out = rounded sums / count
// (as mulhi by reciprocal, which must fit 16 bits).
void SlideColumns(const uint8_t* enter, const uint8_t* leave, uint8_t* out, uint16_t* sums, int rowBytes, int count,
                  uint32_t reciprocal)
{
    const __m128i zero = _mm_setzero_si128();
    const uint32_t half = (uint32_t)count / 2;
    const __m128i vHalf = _mm_set1_epi16((short)half), vR = _mm_set1_epi16((short)reciprocal);
    int j = 0;
    for (; j + 16 <= rowBytes; j += 16) {
        const __m128i e = _mm_loadu_si128(reinterpret_cast<const __m128i*>(enter + j));
        const __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i*>(leave + j));
        __m128i* s = reinterpret_cast<__m128i*>(sums + j);
        const __m128i lo8 = _mm_sub_epi16(_mm_add_epi16(_mm_loadu_si128(s), _mm_unpacklo_epi8(e, zero)),
                                          _mm_unpacklo_epi8(l, zero));
        const __m128i hi8 = _mm_sub_epi16(_mm_add_epi16(_mm_loadu_si128(s + 1), _mm_unpackhi_epi8(e, zero)),
                                          _mm_unpackhi_epi8(l, zero));
        _mm_storeu_si128(s, lo8);
        _mm_storeu_si128(s + 1, hi8);
        const __m128i qLo = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(lo8, vHalf), vR), 3);
        const __m128i qHi = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(hi8, vHalf), vR), 3);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + j), _mm_packus_epi16(qLo, qHi));
    }
    for (; j < rowBytes; ++j) {
        sums[j] = (uint16_t)(sums[j] + enter[j] - leave[j]);
        out[j] = (uint8_t)(((sums[j] + half) * reciprocal) >> 19);
    }
}

// The same box down the columns of a packed frame, all columns at once.
void VerticalBoxPass(const uint8_t* in, uint8_t* out, uint16_t* sums, int rowBytes, int height, int left, int right,
                     const uint32_t* reciprocal)
{
    for (int j = 0; j < rowBytes; ++j)
        sums[j] = 0;
    int lo = 0, hi = -1;
    for (int y = 0; y < height; ++y) {
        const int newLo = y - left > 0 ? y - left : 0;
        const int newHi = y + right < height - 1 ? y + right : height - 1;
        const uint32_t steadyR = reciprocal[hi - lo + 1 > 0 ? hi - lo + 1 : 1];
        if (y > 0 && newHi == hi + 1 && newLo == lo + 1 && steadyR < 65536) {
            // Inside the frame one row enters and one leaves: update the sums
            // and write the averages in the same sweep.
            SlideColumns(in + (size_t)newHi * rowBytes, in + (size_t)lo * rowBytes, out + (size_t)y * rowBytes,
                         sums, rowBytes, hi - lo + 1, steadyR);
            hi = newHi;
            lo = newLo;
            continue;
        }
        while (hi < newHi) {
            const uint8_t* row = in + (size_t)++hi * rowBytes;
            for (int j = 0; j < rowBytes; ++j)
                sums[j] = (uint16_t)(sums[j] + row[j]);
        }
        while (lo < newLo) {
            const uint8_t* row = in + (size_t)lo++ * rowBytes;
            for (int j = 0; j < rowBytes; ++j)
                sums[j] = (uint16_t)(sums[j] - row[j]);
        }
        const int count = hi - lo + 1;
        const uint32_t half = (uint32_t)count / 2, r = reciprocal[count];
        uint8_t* o = out + (size_t)y * rowBytes;
        int j = 0;
        if (r < 65536) {
            // (x * r) >> 19 == mulhi(x, r) >> 3 while r fits 16 bits.
            const __m128i vHalf = _mm_set1_epi16((short)half), vR = _mm_set1_epi16((short)r);
            for (; j + 16 <= rowBytes; j += 16) {
                const __m128i lo8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + j));
                const __m128i hi8 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(sums + j + 8));
                const __m128i qLo = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(lo8, vHalf), vR), 3);
                const __m128i qHi = _mm_srli_epi16(_mm_mulhi_epu16(_mm_add_epi16(hi8, vHalf), vR), 3);
                _mm_storeu_si128(reinterpret_cast<__m128i*>(o + j), _mm_packus_epi16(qLo, qHi));
            }
        }
        for (; j < rowBytes; ++j)
            o[j] = (uint8_t)(((sums[j] + half) * r) >> 19);
    }
}

// The unsharp step s + trunc(amount x (s - blur)), clamped, 16 bytes at a
// time with the same float product as the scalar table. Returns the bytes done.
size_t UnsharpSpan(const uint8_t* s, const uint8_t* blur, uint8_t* d, size_t length, float amount)
{
    const __m128i zero = _mm_setzero_si128();
    const __m128 vAmount = _mm_set1_ps(amount);
    size_t i = 0;
    for (; i + 16 <= length; i += 16) {
        const __m128i sv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i bv = _mm_loadu_si128(reinterpret_cast<const __m128i*>(blur + i));
        const __m128i source16[2] = {_mm_unpacklo_epi8(sv, zero), _mm_unpackhi_epi8(sv, zero)};
        const __m128i blur16[2] = {_mm_unpacklo_epi8(bv, zero), _mm_unpackhi_epi8(bv, zero)};
        __m128i result16[2];
        for (int h = 0; h < 2; ++h) {
            const __m128i difference = _mm_sub_epi16(source16[h], blur16[h]);
            // Sign-extended to 32 bits: the 16-bit value sits in the high half.
            const __m128i lo = _mm_srai_epi32(_mm_unpacklo_epi16(difference, difference), 16);
            const __m128i hi = _mm_srai_epi32(_mm_unpackhi_epi16(difference, difference), 16);
            const __m128i boostLo = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(lo), vAmount));
            const __m128i boostHi = _mm_cvttps_epi32(_mm_mul_ps(_mm_cvtepi32_ps(hi), vAmount));
            result16[h] = _mm_adds_epi16(source16[h], _mm_packs_epi32(boostLo, boostHi));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i), _mm_packus_epi16(result16[0], result16[1]));
    }
    return i;
}

}  // namespace

CpuVideoProcessing::CpuVideoProcessing() : VideoProcessing(0)
{
    BuildSpatialTable();
}

CpuVideoProcessing::~CpuVideoProcessing() {}

void CpuVideoProcessing::BuildSpatialTable()
{
    // One weight cache slot per distinct spatial term.
    int slotOf[33];
    for (int& slot : slotOf)
        slot = -1;
    int slots = 0;
    for (int r = 0; r < 8; ++r)
        for (int c = 0; c < 8; ++c) {
            const int spatial = (r - 3) * (r - 3) + (c - 3) * (c - 3);
            if (slotOf[spatial] < 0)
                slotOf[spatial] = slots++;
            m_spatial[r][c] = spatial;
            m_spatialSlot[r][c] = slotOf[spatial];
        }
}

bool CpuVideoProcessing::Init(HWND, int, int)
{
    BuildSpatialTable();
    return true;
}

bool CpuVideoProcessing::Prepare(HWND, int, int)
{
    BuildSpatialTable();
    return true;
}

void CpuVideoProcessing::Uninit() {}

void CpuVideoProcessing::SetStrength(int percent)
{
    m_sigma = percent / 100.0f * 0.4f + 0.01f;
    m_blockMix = percent / 100.0f * 0.2f + 0.01f;
}

void CpuVideoProcessing::SetMix(int percent)
{
    m_amount = percent / 100.0f * 0.8f + 0.05f;
    m_radius = 15.0f;
}

bool CpuVideoProcessing::ProcessStep(uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    if (!source || !destination || source == destination || width <= 0 || height <= 0 ||
        stride < width * 3 || width > kMaxLine || height > kMaxLine)
        return false;
    if (!m_work.Data() || width != m_workWidth || height != m_workHeight || stride != m_workStride) {
        // Filled by whole rows, so sized by the stride.
        if (!m_work.Ensure((size_t)stride * height))
            return false;
        m_workWidth = width;
        m_workHeight = height;
        m_workStride = stride;
    }
    const float k = 1.0f / (m_sigma * m_sigma);
    uint8_t* work = m_work.Data();
    if (!m_autoMode) {
        BlockFilter(source, work, width, height, stride, k);
        if (!ContrastStage(work, destination, width, height, stride))
            return false;
    } else {
        BlockFilter(source, destination, width, height, stride, k);
        if (!ContrastStage(destination, work, width, height, stride))
            return false;
        ApplyTone(work, destination, width, height, stride);
    }
    return true;
}

void CpuVideoProcessing::BlockFilter(const uint8_t* source, uint8_t* destination, int width, int height, int stride, float k)
{
    std::memcpy(destination, source, (size_t)height * stride);
    // Weights repeat a lot from block to block: remember the exp results for
    // this k (lazily, so a frame only pays for the distances it meets).
    if (!m_weightCache.Ensure(kSpatialSlots * kCachedDistances * sizeof(uint16_t)))
        m_weightCacheValid = false;
    else if (!m_weightCacheValid || k != m_weightCacheK) {
        std::memset(m_weightCache.Data(), 0xFF, m_weightCache.Size());
        m_weightCacheK = k;
        m_weightCacheValid = true;
    }
    // A block reads 3 pixels before its origin and 11 after it; blocks whose
    // reads would leave the frame stay copied.
    // The box sums of each band of blocks come from running sums over the
    // band (without room for them, each block sums its own).
    const int rowBytes = width * 3;
    uint16_t* boxes = nullptr;
    if (width >= 20 && m_bandSums.Ensure((size_t)rowBytes * 11 * sizeof(uint16_t)))
        boxes = reinterpret_cast<uint16_t*>(m_bandSums.Data());
    for (int y = 8; y < height - 8 && y + 11 < height; y += 8) {
        if (boxes)
            BandBoxSums(source + (ptrdiff_t)(y - 3) * stride, stride, rowBytes, boxes, boxes + 8 * rowBytes,
                        boxes + 9 * rowBytes, boxes + 10 * rowBytes);
        for (int x = 8; x < width - 8 && x + 11 < width; x += 8)
            FilterBlock(source, destination, x, y, stride, k, boxes ? boxes + 3 * x : nullptr, rowBytes);
    }
}

void CpuVideoProcessing::FilterBlock(const uint8_t* source, uint8_t* destination, int x, int y, int stride, float k,
                                     const uint16_t* boxes, int boxStride)
{
    // Everything a block reads as 16-bit values, loaded once: rows y - 3 ..
    // y + 11, pixels x - 3 .. x + 11 (45 bytes a row, kept 48 wide).
    const __m128i zero = _mm_setzero_si128();
    alignas(16) int16_t local[15][48];
    const uint8_t* corner = source + (ptrdiff_t)(y - 3) * stride + (x - 3) * 3;
    for (int rho = 0; rho < 15; ++rho) {
        const uint8_t* p = corner + (ptrdiff_t)rho * stride;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16));
        // Bytes 32..44 without reading past the row's last one.
        const __m128i c = _mm_srli_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 29)), 3);
        __m128i* row = reinterpret_cast<__m128i*>(local[rho]);
        _mm_store_si128(row, _mm_unpacklo_epi8(a, zero));
        _mm_store_si128(row + 1, _mm_unpackhi_epi8(a, zero));
        _mm_store_si128(row + 2, _mm_unpacklo_epi8(b, zero));
        _mm_store_si128(row + 3, _mm_unpackhi_epi8(b, zero));
        _mm_store_si128(row + 4, _mm_unpacklo_epi8(c, zero));
        _mm_store_si128(row + 5, _mm_unpackhi_epi8(c, zero));
    }

    // The patch at the origin (7 x 7 pixels, 21 values a row), 24 wide with
    // the last 3 lanes masked off in the distances.
    alignas(16) int16_t own[7][24];
    for (int i = 0; i < 7; ++i)
        for (int v = 0; v < 3; ++v)
            _mm_store_si128(reinterpret_cast<__m128i*>(own[i] + 8 * v),
                            _mm_loadu_si128(reinterpret_cast<const __m128i*>(local[3 + i] + 9 + 8 * v)));
    const __m128i tailMask = _mm_setr_epi16(-1, -1, -1, -1, -1, 0, 0, 0);

    // Weights as signed 16-bit factors for pmaddwd, biased by -32768 so that
    // 0..65535 fit: sum(w x p) = sum((w - 32768) x p) + 32768 x sum(p), where
    // sum(p) over all 64 offsets is the 8 x 8 box sum around the pixel. The
    // own pixel (distance 0, weight 65536) enters as 65535 plus one more p.
    uint16_t factor[8][8];
    int strong = 0;
    uint32_t weightSum = 0;
    for (int dy = -3; dy <= 4; ++dy) {
        for (int dx = -3; dx <= 4; ++dx) {
            uint32_t wi = 65536;
            if (dy != 0 || dx != 0) {
                __m128i acc = zero;
                for (int i = 0; i < 7; ++i) {
                    const int16_t* other = local[3 + i + dy] + 9 + 3 * dx;
                    const __m128i* mine = reinterpret_cast<const __m128i*>(own[i]);
                    const __m128i d0 =
                        _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(other)), mine[0]);
                    const __m128i d1 =
                        _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(other + 8)), mine[1]);
                    const __m128i d2 = _mm_and_si128(
                        _mm_sub_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i*>(other + 16)), mine[2]),
                        tailMask);
                    acc = _mm_add_epi32(acc, _mm_madd_epi16(d0, d0));
                    acc = _mm_add_epi32(acc, _mm_madd_epi16(d1, d1));
                    acc = _mm_add_epi32(acc, _mm_madd_epi16(d2, d2));
                }
                acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(1, 0, 3, 2)));
                acc = _mm_add_epi32(acc, _mm_shuffle_epi32(acc, _MM_SHUFFLE(2, 3, 0, 1)));
                const uint32_t distance = (uint32_t)_mm_cvtsi128_si32(acc);
                uint16_t* cached = nullptr;
                if (m_weightCacheValid && distance < (uint32_t)kCachedDistances)
                    cached = reinterpret_cast<uint16_t*>(m_weightCache.Data()) + (size_t)distance * kSpatialSlots +
                             m_spatialSlot[dy + 3][dx + 3];
                if (cached && *cached != kUnknownWeight) {
                    wi = *cached;
                } else {
                    wi = NeighbourWeight(distance, m_spatial[dy + 3][dx + 3], k);
                    if (cached)
                        *cached = (uint16_t)wi;
                }
            }
            if (wi > 6553)
                ++strong;
            weightSum += wi;
            factor[dy + 3][dx + 3] = (uint16_t)((wi > 65535 ? 65535 : wi) - 32768);
        }
    }

    // Rows rho and rho + 1 interleaved, so one pmaddwd applies the weights of
    // two vertical offsets: pairs[rho][2j + h] = local[rho + h][j].
    alignas(16) int16_t pairs[14][96];
    for (int rho = 0; rho < 14; ++rho) {
        const __m128i* upper = reinterpret_cast<const __m128i*>(local[rho]);
        const __m128i* lower = reinterpret_cast<const __m128i*>(local[rho + 1]);
        __m128i* out = reinterpret_cast<__m128i*>(pairs[rho]);
        for (int v = 0; v < 6; ++v) {
            _mm_store_si128(out + 2 * v, _mm_unpacklo_epi16(upper[v], lower[v]));
            _mm_store_si128(out + 2 * v + 1, _mm_unpackhi_epi16(upper[v], lower[v]));
        }
    }
    __m128i weightPair[4][8];
    for (int g = 0; g < 4; ++g)
        for (int dx = 0; dx < 8; ++dx)
            weightPair[g][dx] = _mm_set1_epi32((int)((uint32_t)factor[2 * g][dx] | (uint32_t)factor[2 * g + 1][dx] << 16));

    // Sums of 8 values along every row (the same byte of 8 neighbouring
    // pixels), for the box sums of the bias when the band has none.
    __m128i across[15][3];
    __m128i box[3] = {zero, zero, zero};  // at most 64 x 255
    if (!boxes) {
        for (int rho = 0; rho < 15; ++rho)
            for (int v = 0; v < 3; ++v) {
                __m128i s = zero;
                for (int t = 0; t < 8; ++t)
                    s = _mm_add_epi16(s,
                                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(local[rho] + 3 * t + 8 * v)));
                across[rho][v] = s;
            }
        for (int rho = 0; rho < 8; ++rho)
            for (int v = 0; v < 3; ++v)
                box[v] = _mm_add_epi16(box[v], across[rho][v]);
    }

    // Few strong matches: an edge or fine detail keeps 80 % of its difference
    // from the mean; a flat area such as skin keeps 20 %.
    const bool edge = strong <= 4;
    const __m128d inverse = _mm_set1_pd(1.0 / weightSum);
    // Below the smallest fraction a quotient by weightSum can have, far above
    // the rounding of the product: floor stays exact.
    const __m128d nudge = _mm_set1_pd(1e-9);
    const __m128i fifth = _mm_set1_epi16(13108);
    for (int r = 0; r < 8; ++r) {
        // Half a row (12 values) at a time: three sums stay in registers even
        // where only eight vector registers exist.
        __m128i sum[6];
        for (int half = 0; half < 2; ++half) {
            __m128i s0 = zero, s1 = zero, s2 = zero;
            for (int g = 0; g < 4; ++g) {
                const int16_t* base = pairs[r + 2 * g] + 24 * half;
                for (int dx = 0; dx < 8; ++dx) {
                    const __m128i w = weightPair[g][dx];
                    const __m128i* p = reinterpret_cast<const __m128i*>(base + 6 * dx);
                    s0 = _mm_add_epi32(s0, _mm_madd_epi16(_mm_loadu_si128(p), w));
                    s1 = _mm_add_epi32(s1, _mm_madd_epi16(_mm_loadu_si128(p + 1), w));
                    s2 = _mm_add_epi32(s2, _mm_madd_epi16(_mm_loadu_si128(p + 2), w));
                }
            }
            sum[3 * half] = s0;
            sum[3 * half + 1] = s1;
            sum[3 * half + 2] = s2;
        }
        if (boxes)
            for (int v = 0; v < 3; ++v)
                box[v] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(boxes + (ptrdiff_t)r * boxStride + 8 * v));
        else if (r > 0)
            for (int v = 0; v < 3; ++v)
                box[v] = _mm_add_epi16(_mm_sub_epi16(box[v], across[r - 1][v]), across[r + 7][v]);
        const int16_t* mineRow = local[r + 3] + 9;
        __m128i out16[3];
        for (int v = 0; v < 3; ++v) {
            const __m128i mine = _mm_loadu_si128(reinterpret_cast<const __m128i*>(mineRow + 8 * v));
            __m128i mean[2];
            for (int h = 0; h < 2; ++h) {
                const __m128i boxPart = h ? _mm_unpackhi_epi16(box[v], zero) : _mm_unpacklo_epi16(box[v], zero);
                const __m128i minePart = h ? _mm_unpackhi_epi16(mine, zero) : _mm_unpacklo_epi16(mine, zero);
                const __m128i total =
                    _mm_add_epi32(_mm_add_epi32(sum[2 * v + h], _mm_slli_epi32(boxPart, 15)), minePart);
                const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtepi32_pd(total), inverse), nudge);
                const __m128d hi = _mm_add_pd(
                    _mm_mul_pd(_mm_cvtepi32_pd(_mm_shuffle_epi32(total, _MM_SHUFFLE(1, 0, 3, 2))), inverse), nudge);
                mean[h] = _mm_unpacklo_epi64(_mm_cvttpd_epi32(lo), _mm_cvttpd_epi32(hi));
            }
            const __m128i m = _mm_packs_epi32(mean[0], mean[1]);
            // trunc((v - m) x keep / 65535): keep 13107 is 65535 / 5 and keep
            // 52429 is 4 x 13107 + 1, whose extra (v - m) / 65535 never reaches
            // the next integer; so trunc(d / 5) with d = v - m or 4 (v - m),
            // by the multiplier 13108 and the sign fix of truncating division.
            __m128i d = _mm_sub_epi16(mine, m);
            if (edge)
                d = _mm_slli_epi16(d, 2);
            const __m128i part = _mm_sub_epi16(_mm_mulhi_epi16(d, fifth), _mm_srai_epi16(d, 15));
            out16[v] = _mm_add_epi16(m, part);
        }
        uint8_t* out = destination + (ptrdiff_t)(y + r) * stride + x * 3;
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packus_epi16(out16[0], out16[1]));
        _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 16), _mm_packus_epi16(out16[2], zero));
    }
}

bool CpuVideoProcessing::ContrastStage(const uint8_t* source, uint8_t* destination, int width, int height, int stride)
{
    const size_t rowBytes = (size_t)width * 3;
    if (width > kMaxLine || height > kMaxLine || !m_lineA.Ensure(kMaxLine * 3) || !m_lineB.Ensure(kMaxLine * 3) ||
        !m_blurA.Ensure(rowBytes * height) || !m_blurB.Ensure(rowBytes * height) ||
        !m_columnSums.Ensure(rowBytes * sizeof(uint16_t)))
        return false;
    const double pi = 3.14159265358979323846;
    const int box = (int)(std::sqrt(2.0 * pi) * (m_radius * 3.0) * 0.25 + 0.5);
    // Three boxes approximating a Gaussian: for an even size one box leaning
    // left, one leaning right and a centred one of box + 1 samples.
    int left[3], right[3];
    if (box % 2 == 0) {
        left[0] = box / 2;      right[0] = box / 2 - 1;
        left[1] = box / 2 - 1;  right[1] = box / 2;
        left[2] = box / 2;      right[2] = box / 2;
    } else {
        for (int i = 0; i < 3; ++i)
            left[i] = right[i] = box / 2 > 0 ? box / 2 : 0;
    }
    uint32_t reciprocal[64];
    const int widest = left[2] + right[2] + 1;
    if (widest >= 64)
        return false;
    for (int n = 1; n <= widest; ++n)
        reciprocal[n] = Reciprocal(n);
    uint8_t* a = m_lineA.Data();
    uint8_t* b = m_lineB.Data();
    uint8_t* blurA = m_blurA.Data();
    uint8_t* blurB = m_blurB.Data();
    // Eight rows at a time through their columns, where every count's
    // reciprocal fits 16 bits; the rows left over one by one.
    int y = 0;
    bool columnsFit = width > widest && rowBytes >= 16;
    for (int i = 0; i < 3; ++i)
        columnsFit = columnsFit && reciprocal[(left[i] < right[i] ? left[i] : right[i]) + 1] < 65536;
    if (columnsFit && height >= 8 && m_columnsA.Ensure(rowBytes * sizeof(__m128i)) &&
        m_columnsB.Ensure(rowBytes * sizeof(__m128i))) {
        __m128i* columnsA = reinterpret_cast<__m128i*>(m_columnsA.Data());
        __m128i* columnsB = reinterpret_cast<__m128i*>(m_columnsB.Data());
        for (; y + 8 <= height; y += 8) {
            RowsToColumns(source + (size_t)y * stride, stride, (int)rowBytes, columnsA);
            BoxPassColumns(columnsA, columnsB, width, left[0], right[0], reciprocal);
            BoxPassColumns(columnsB, columnsA, width, left[1], right[1], reciprocal);
            BoxPassColumns(columnsA, columnsB, width, left[2], right[2], reciprocal);
            ColumnsToRows(columnsB, (int)rowBytes, blurA + y * rowBytes, rowBytes);
        }
    }
    for (; y < height; ++y) {
        BoxPass(source + (size_t)y * stride, a, width, left[0], right[0], reciprocal);
        BoxPass(a, b, width, left[1], right[1], reciprocal);
        BoxPass(b, blurA + y * rowBytes, width, left[2], right[2], reciprocal);
    }
    uint16_t* sums = reinterpret_cast<uint16_t*>(m_columnSums.Data());
    VerticalBoxPass(blurA, blurB, sums, (int)rowBytes, height, left[0], right[0], reciprocal);
    VerticalBoxPass(blurB, blurA, sums, (int)rowBytes, height, left[1], right[1], reciprocal);
    VerticalBoxPass(blurA, blurB, sums, (int)rowBytes, height, left[2], right[2], reciprocal);

    // Unsharp mask of the source with its blur.
    int boost[511];  // trunc(amount x difference), difference -255..255
    for (int difference = -255; difference <= 255; ++difference)
        boost[difference + 255] = (int)(m_amount * difference);
    for (int y = 0; y < height; ++y) {
        const uint8_t* s = source + (size_t)y * stride;
        const uint8_t* blur = blurB + y * rowBytes;
        uint8_t* d = destination + (size_t)y * stride;
        size_t i = UnsharpSpan(s, blur, d, rowBytes, m_amount);
        for (; i < rowBytes; ++i) {
            const int v = s[i] + boost[s[i] - blur[i] + 255];
            d[i] = (uint8_t)(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    return true;
}
