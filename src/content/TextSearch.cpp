#include "content/TextSearch.h"

#include <cstring>
#ifdef __x86_64__
#include <immintrin.h>
#endif

namespace TextSearch {

// The 512-bit set of the byte pairs of `bytes`.
Pairs pairsOf(const QByteArray& bytes) {
    Pairs pairs{};
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.constData());
    for (qsizetype i = 0; i + 1 < bytes.size(); ++i) {
        const unsigned bit = ((unsigned(b[i]) << 8 | b[i + 1]) * 0x9E3779B1u) >> 23;
        pairs[bit >> 6] |= quint64(1) << (bit & 63);
    }
    return pairs;
}

namespace {

// Whether `needle` (at least two bytes) occurs in `hay`, by the scalar way.
bool containsTail(const char* hay, qsizetype n, const char* needle, qsizetype k, qsizetype from) {
    for (qsizetype i = from; i + k <= n; ++i) {
        if (hay[i] == needle[0] && std::memcmp(hay + i + 1, needle + 1, size_t(k - 1)) == 0)
            return true;
    }
    return false;
}

#ifdef __x86_64__
// Matching runs once per shot for every query, so it is a SIMD filter: compare
// 32 candidate positions per step on the needle's first, second and last
// bytes and verify only the few that agree on all three.
__attribute__((target("avx2"))) bool containsAvx2(const char* hay, qsizetype n, const char* needle,
                                                  qsizetype k) {
    const __m256i first = _mm256_set1_epi8(needle[0]);
    const __m256i second = _mm256_set1_epi8(needle[1]);
    const __m256i last = _mm256_set1_epi8(needle[k - 1]);
    qsizetype i = 0;
    for (; i + k - 1 + 32 <= n; i += 32) {
        const auto* at = reinterpret_cast<const __m256i*>(hay + i);
        const __m256i a = _mm256_cmpeq_epi8(_mm256_loadu_si256(at), first);
        const __m256i b = _mm256_cmpeq_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + 1)), second);
        const __m256i c = _mm256_cmpeq_epi8(
            _mm256_loadu_si256(reinterpret_cast<const __m256i*>(hay + i + k - 1)), last);
        auto mask = static_cast<unsigned>(
            _mm256_movemask_epi8(_mm256_and_si256(_mm256_and_si256(a, b), c)));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            if (k <= 3 || std::memcmp(hay + i + bit + 2, needle + 2, size_t(k - 3)) == 0)
                return true;
            mask &= mask - 1;
        }
    }
    return containsTail(hay, n, needle, k, i);
}
#endif

bool containsSse2(const char* hay, qsizetype n, const char* needle, qsizetype k) {
    qsizetype i = 0;
#ifdef __SSE2__
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i second = _mm_set1_epi8(needle[1]);
    const __m128i last = _mm_set1_epi8(needle[k - 1]);
    for (; i + k - 1 + 16 <= n; i += 16) {
        const __m128i a =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i)), first);
        const __m128i b =
            _mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + 1)), second);
        const __m128i c = _mm_cmpeq_epi8(
            _mm_loadu_si128(reinterpret_cast<const __m128i*>(hay + i + k - 1)), last);
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_and_si128(_mm_and_si128(a, b), c)));
        while (mask != 0) {
            const int bit = __builtin_ctz(mask);
            if (k <= 3 || std::memcmp(hay + i + bit + 2, needle + 2, size_t(k - 3)) == 0)
                return true;
            mask &= mask - 1;
        }
    }
#endif
    return containsTail(hay, n, needle, k, i);
}

#ifdef __x86_64__
const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#else
const bool kHasAvx2 = false;
#endif

} // namespace

bool contains(const char* hay, qsizetype n, const char* needle, qsizetype k) {
    if (k == 0)
        return true;
    if (k > n)
        return false;
    if (k == 1)
        return std::memchr(hay, needle[0], size_t(n)) != nullptr;
#ifdef __x86_64__
    if (kHasAvx2)
        return containsAvx2(hay, n, needle, k);
#endif
    return containsSse2(hay, n, needle, k);
}

} // namespace TextSearch
