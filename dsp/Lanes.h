#pragma once

// Lane types for the per-sample maths: one double, two doubles in an SSE2
// register (V2) or four in an AVX register (V4). Each piece of the signal
// path (filter sections, envelope step, saturation curve, clamp) is written
// once as a template over the lane type; a lane performs exactly the
// operations of the scalar form in the same order, so every lane width gives
// the same numbers to the bit. Decisions are taken per lane by selecting
// between two values both computed.
//
// The templates live in an unnamed namespace: each translation unit, the
// ones built for AVX2 included, gets copies of its own, so a copy holding
// AVX instructions can never stand in for one that baseline code calls.

#include <cstring>
#include <type_traits>

typedef double V2 __attribute__((vector_size(16)));
typedef double V4 __attribute__((vector_size(32)));

namespace {

template <class V> constexpr int kLanes = sizeof(V) / sizeof(double);

template <class V> inline V splat(double x)
{
    if constexpr (std::is_same_v<V, double>)
        return x;
    else if constexpr (std::is_same_v<V, V2>)
        return V2{x, x};
    else
        return V4{x, x, x, x};
}

template <class V> inline V load(const double* p)
{
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> inline void store(double* p, V v)
{
    std::memcpy(p, &v, sizeof v);
}

template <class V> inline double lane(V v, int i)
{
    if constexpr (std::is_same_v<V, double>)
        return v;
    else
        return v[i];
}

// cond ? a : b, lane by lane for vectors.
template <class M, class V> inline V select(M cond, V a, V b)
{
    return cond ? a : b;
}

// |x|: the sign bit cleared, as std::fabs does.
template <class V> inline V magnitude(V x)
{
    if constexpr (std::is_same_v<V, double>) {
        return __builtin_fabs(x);
    } else {
        typedef long long I __attribute__((vector_size(sizeof(V))));
        I bits;
        std::memcpy(&bits, &x, sizeof bits);
        bits &= I{} + 0x7fffffffffffffffll;
        V out;
        std::memcpy(&out, &bits, sizeof out);
        return out;
    }
}

// The larger and the smaller of two values as std::max and std::min choose
// them (equal values give a for max, a for min).
template <class V> inline V larger(V a, V b)
{
    return select(a < b, b, a);
}

template <class V> inline V smaller(V a, V b)
{
    return select(b < a, b, a);
}

} // namespace
