// The packed kernels over the vectors of x86_vectors-inl.h, written once and
// compiled once per level (packed_sse2.cpp, packed_avx2.cpp): the same
// per-lane results as the portable model.
//
// Memory keeps the QuadLine interleave. Every kernel walks its positions in
// one way (ForPositions): whole vectors of the level's width, then one of two
// positions where the level is wider, then a lone position in the low half.
// The gather, scatter and interpolation move data in steps of at most two
// positions at every level.
//
// Included only by simd_target.inc, inside the level's region and namespace.

// step.template operator()<P>(p) over positions 0 .. count-1, P positions at
// a time.
template <class Step>
inline void ForPositions(int count, const Step& step) {
    int p = 0;
    for (; p + kWidestPositions <= count; p += kWidestPositions) {
        step.template operator()<kWidestPositions>(p);
    }
    if constexpr (kWidestPositions > 2) {
        if (p + 2 <= count) {
            step.template operator()<2>(p);
            p += 2;
        }
    }
    if (p < count) step.template operator()<1>(p);
}

template <class V>
inline V Pattern(QuadTapPair c) {
    return PairPattern<V>(c.first, c.second);
}

// Floor-shifts the exact sums of the lower and the upper lane pairs and packs
// them, saturated, back into positions.
template <int Shift, class V>
inline V ShiftPack(V low, V high) {
    return PackSat32(ShiftRight32<Shift>(low), ShiftRight32<Shift>(high));
}

// first * a + second * b per lane, exactly in 32 bits, for the lower lanes
// of each 128-bit half (positions 0 and 2) and for the upper ones (1 and 3).
template <class V>
inline V MulAddLow(V a, V b, V pattern) {
    return MulAdd(ZipLo16(a, b), pattern);
}
template <class V>
inline V MulAddHigh(V a, V b, V pattern) {
    return MulAdd(ZipHi16(a, b), pattern);
}

// ---- Gather and scatter: cb and cr of a pixel moved as one 32-bit unit.

const unsigned char* ChromaBytes(const PIXEL_YC* px) {
    return reinterpret_cast<const unsigned char*>(px) + offsetof(PIXEL_YC, cb);
}

unsigned char* ChromaBytes(PIXEL_YC* px) {
    return reinterpret_cast<unsigned char*>(px) + offsetof(PIXEL_YC, cb);
}

static_assert(offsetof(PIXEL_YC, cr) == offsetof(PIXEL_YC, cb) + 2);

constexpr int L = kQuadLanes;

// The cb of the four rows' pixel in the low 64 bits, their cr in the high 64.
inline V128 ChromaPosition(const PIXEL_YC* const (&rows)[L], int pixel) {
    V128 v[L];
    for (int k = 0; k < L; ++k) {
        int32_t pair;
        __builtin_memcpy(&pair, ChromaBytes(rows[k] + pixel), sizeof pair);
        v[k] = {_mm_cvtsi32_si128(pair)};
    }
    return ZipLo32(ZipLo16(v[0], v[1]), ZipLo16(v[2], v[3]));
}

// The 16 edge positions of both lines, all equal to one gathered position.
inline void FillEdge(int16_t* crLine, int16_t* cbLine, V128 position) {
    const V128 cb = ZipLo64(position, position);
    const V128 cr = ZipHi64(position, position);
    for (int p = 0; p < kQuadEdge; p += 2) {
        Store<2>(cbLine + L * p, cb);
        Store<2>(crLine + L * p, cr);
    }
}

void GatherChromaQuad(int16_t* crLine, int16_t* cbLine, const PIXEL_YC* first, int count,
                      int pitch) {
    if (count <= 0) return;
    const PIXEL_YC* rows[L];
    for (int k = 0; k < L; ++k) rows[k] = first + static_cast<ptrdiff_t>(k) * pitch;
    FillEdge(crLine, cbLine, ChromaPosition(rows, 0));
    int16_t* const crBody = crLine + L * kQuadEdge;
    int16_t* const cbBody = cbLine + L * kQuadEdge;
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const V128 a = ChromaPosition(rows, 2 * i);
        const V128 b = ChromaPosition(rows, 2 * i + 2);
        Store<2>(cbBody + L * i, ZipLo64(a, b));
        Store<2>(crBody + L * i, ZipHi64(a, b));
    }
    if (i < count) {
        const V128 a = ChromaPosition(rows, 2 * i);
        Store<1>(cbBody + L * i, a);
        Store<1>(crBody + L * i, ZipHi64(a, a));
    }
    FillEdge(crBody + L * count, cbBody + L * count, ChromaPosition(rows, 2 * (count - 1)));
}

// pixelChroma holds (cb, cr) of the four rows' pixel in its four 32-bit lanes.
inline void StoreChroma(PIXEL_YC* const (&rows)[L], int pixel, V128 pixelChroma) {
    __m128i v = pixelChroma.raw;
    for (int k = 0; k < L; ++k) {
        const int32_t pair = _mm_cvtsi128_si32(v);
        __builtin_memcpy(ChromaBytes(rows[k] + pixel), &pair, sizeof pair);
        v = _mm_srli_si128(v, 4);
    }
}

void ScatterChromaQuad(PIXEL_YC* first, const int16_t* crLine, const int16_t* cbLine, int count,
                       int pitch) {
    // Nothing to write: not even the row addresses are formed (first may be null).
    if (count <= 0) return;
    PIXEL_YC* rows[L];
    for (int k = 0; k < L; ++k) rows[k] = first + static_cast<ptrdiff_t>(k) * pitch;
    int i = 0;
    for (; i + 2 <= count; i += 2) {
        const V128 cb = Load<2>(cbLine + L * i);
        const V128 cr = Load<2>(crLine + L * i);
        StoreChroma(rows, i, ZipLo16(cb, cr));
        StoreChroma(rows, i + 1, ZipHi16(cb, cr));
    }
    if (i < count) {
        StoreChroma(rows, i, ZipLo16(Load<1>(cbLine + L * i), Load<1>(crLine + L * i)));
    }
}

// ---- Filters.

template <int P>
inline Vec<P> Fold(const int16_t* centre, int distance) {
    return AddSat(Load<P>(centre + L * distance), Load<P>(centre - L * distance));
}

template <int P, int Pairs>
inline void LowPassStep(int16_t* dst, const int16_t* centre, const QuadFilterTaps<Pairs>& taps) {
    using V = Vec<P>;
    V low = Splat32<V>(kQuadFilterRound);
    V high = low;
    for (int i = 0; i < Pairs; ++i) {
        const int d = 2 * (Pairs - 1 - i);
        V inner;
        if (d > 0) {
            inner = Fold<P>(centre, d);
        } else {
            inner = Load<P>(centre);
            if (taps.doubledCentre) inner = AddSat(inner, inner);
        }
        const V outer = Fold<P>(centre, d + 1);
        const V pattern = Pattern<V>(taps.pairs[i]);
        low = Add32(low, MulAddLow(inner, outer, pattern));
        // A lone position has no upper lanes to sum.
        if constexpr (P > 1) high = Add32(high, MulAddHigh(inner, outer, pattern));
    }
    Store<P>(dst, ShiftPack<kQuadFilterShift>(low, high));
}

template <int Pairs>
inline void QuadLowPass(int16_t* dst, const int16_t* src, int count,
                        const QuadFilterTaps<Pairs>& taps) {
    ForPositions(count, [=, &taps]<int P>(int p) { LowPassStep<P>(dst + L * p, src + L * p, taps); });
}

void LowPass640Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass640QuadTaps);
}

void LowPass720Quad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kLowPass720QuadTaps);
}

void WideLowPassQuad(int16_t* dst, const int16_t* src, int count) {
    QuadLowPass(dst, src, count, kWideLowPassQuadTaps);
}

// ---- Rotations and blends: element-wise over whole positions; the count
// mod 4 values after them go through the scalar kernels.

// One rotated output line for the (second, first) pairs of the positions.
template <class V>
inline V Rotated(V first, V second, QuadTapPair c) {
    const V pattern = Pattern<V>(c);
    const V round = Splat32<V>(kRotationRound);
    return ShiftPack<kRotationShift>(Add32(MulAddLow(second, first, pattern), round),
                                     Add32(MulAddHigh(second, first, pattern), round));
}

inline void RotateQuad(int16_t* a, int16_t* b, int count, QuadTapPair toA, QuadTapPair toB,
                       void (*scalar)(int16_t*, int16_t*, int)) {
    if (count <= 0) return;
    ForPositions(count / L, [=]<int P>(int p) {
        const Vec<P> first = Load<P>(a + L * p);
        const Vec<P> second = Load<P>(b + L * p);
        Store<P>(a + L * p, Rotated(first, second, toA));
        Store<P>(b + L * p, Rotated(first, second, toB));
    });
    const int grouped = count / L * L;
    scalar(a + grouped, b + grouped, count - grouped);
}

void RotateToIQQuad(int16_t* crLine, int16_t* cbLine, int count) {
    RotateQuad(crLine, cbLine, count, kIFromCbCr, kQFromCbCr, RotateToIQ);
}

void RotateFromIQQuad(int16_t* iLine, int16_t* qLine, int count) {
    RotateQuad(iLine, qLine, count, kCrFromQI, kCbFromQI, RotateFromIQ);
}

// (factor * d) >> 6 per lane, saturated: the exact 32-bit product is rebuilt
// from its low and high halves.
template <class V>
inline V ScaledDifference(V d, V factor) {
    const V low = MulLo16(d, factor);
    const V high = MulHi16(d, factor);
    return ShiftPack<kBlendShift>(ZipLo16(low, high), ZipHi16(low, high));
}

// The 16-bit coring: magnitude (-32768 stays -32768), below = magnitude - t;
// where below < 0 the ramp magnitude + 4 below, floored at 0; the sign of d
// put back. No branch: the cases are chosen by compare masks.
template <class V>
inline V CoredDifference(V d, V threshold) {
    const V zero = Zero<V>();
    const V sign = ShiftRight16<15>(d);
    const V magnitude = Sub16(Xor(d, sign), sign);
    const V below = Sub16(magnitude, threshold);
    const V ramp = Max16(Add16(magnitude, ShiftLeft16<2>(below)), zero);
    const V k = IfThenElse(Less16(below, zero), ramp, magnitude);
    return Sub16(Xor(k, sign), sign);
}

template <bool Cored>
inline void BlendPositions(int16_t* f, const int16_t* x, int count, int strength, int noise) {
    const int16_t factor = Low16(WrapMul(2, strength));
    const int16_t threshold = Low16(noise);
    ForPositions(count / L, [=]<int P>(int p) {
        using V = Vec<P>;
        const V target = Load<P>(f + L * p);
        V d = SubSat(Load<P>(x + L * p), target);
        if constexpr (Cored) d = CoredDifference(d, Splat16<V>(threshold));
        Store<P>(f + L * p, AddSat(target, ScaledDifference(d, Splat16<V>(factor))));
    });
}

void BlendDetailQuad(int16_t* f, const int16_t* x, int count, int strength) {
    if (count <= 0) return;
    BlendPositions<false>(f, x, count, strength, 0);
    const int grouped = count / L * L;
    BlendDetail(f + grouped, x + grouped, count - grouped, strength);
}

void BlendDetailCoredQuad(int16_t* f, const int16_t* x, int count, int strength, int noise) {
    if (count <= 0) return;
    BlendPositions<true>(f, x, count, strength, noise);
    const int grouped = count / L * L;
    BlendDetailCored(f + grouped, x + grouped, count - grouped, strength, noise);
}

// ---- Interpolation.

// Source positions i (and i + 1) with their neighbours p = s[i-1], m = s[i],
// q = s[i+1], r = s[i+2] already clamped into the line: writes destination
// positions 2i, 2i+1 (and 2i+2, 2i+3).
template <int P>
inline void UpsampleStep(int16_t* dst, V128 p, V128 m, V128 q, V128 r) {
    const V128 pattern = Pattern<V128>(kUpsampleOuterInner);
    const V128 round = Splat32<V128>(kUpsampleRound);
    const V128 low = Add32(Add32(MulAddLow(p, m, pattern), round), MulAddLow(r, q, pattern));
    V128 high = low;
    if constexpr (P == 2) {
        high = Add32(Add32(MulAddHigh(p, m, pattern), round), MulAddHigh(r, q, pattern));
    }
    const V128 odd = ShiftPack<kUpsampleShift>(low, high);
    Store<2>(dst, ZipLo64(m, odd));
    if constexpr (P == 2) Store<2>(dst + 2 * L, ZipHi64(m, odd));
}

inline const int16_t* ClampedPosition(const int16_t* src, int i, int n) {
    return src + L * (i < 0 ? 0 : (i > n - 1 ? n - 1 : i));
}

inline void UpsampleClamped(int16_t* dst, const int16_t* src, int i, int n) {
    UpsampleStep<1>(dst + 2 * L * i, Load<1>(ClampedPosition(src, i - 1, n)), Load<1>(src + L * i),
                    Load<1>(ClampedPosition(src, i + 1, n)),
                    Load<1>(ClampedPosition(src, i + 2, n)));
}

void UpsampleChroma2xQuad(int16_t* dst, const int16_t* src, int n) {
    if (n <= 0) return;
    // Position 0 and the last three need clamped neighbours; the rest are
    // taken two at a time with every neighbour inside the line.
    UpsampleClamped(dst, src, 0, n);
    int i = 1;
    for (; i + 3 <= n - 1; i += 2) {
        const int16_t* s = src + L * i;
        UpsampleStep<2>(dst + 2 * L * i, Load<2>(s - L), Load<2>(s), Load<2>(s + L),
                        Load<2>(s + 2 * L));
    }
    for (; i < n; ++i) UpsampleClamped(dst, src, i, n);
}
