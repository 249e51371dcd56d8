// The 8-bit conversions over the vectors of x86_vectors-inl.h, written once
// and compiled once per level (chroma8_sse2.cpp, chroma8_avx2.cpp). Samples
// are walked in one way: whole vectors of the level's width, then one
// 128-bit vector where the level is wider, then one sample at a time.
//
// Included only by chroma8_simd.inc, inside the level's region and namespace.

using Widest = Vec<kWidestPositions>;

// step.template operator()<V>(i) over samples 0 .. count-1, kSamples<V> at a
// time, then one(i) for each sample left.
template <class Step, class One>
inline void ForSamples(int count, const Step& step, const One& one) {
    int i = 0;
    for (; i + kSamples<Widest> <= count; i += kSamples<Widest>) step.template operator()<Widest>(i);
    if constexpr (kWidestPositions > 2) {
        if (i + kSamples<V128> <= count) {
            step.template operator()<V128>(i);
            i += kSamples<V128>;
        }
    }
    for (; i < count; ++i) one(i);
}

// ((c - 128) * 4681 + 164) >> 8 per lane: each code, less 128, is paired with
// a 1 and multiply-added with (4681, 164) into one exact 32-bit sum.
template <class V>
inline V ToYc48(V codes) {
    const V c = Sub16(codes, Splat16<V>(128));
    const V ones = Splat16<V>(1);
    const V factors = PairPattern<V>(4681, 164);
    return PackSat32(ShiftRight32<8>(MulAdd(ZipLo16(c, ones), factors)),
                     ShiftRight32<8>(MulAdd(ZipHi16(c, ones), factors)));
}

// clamp((((v + 2048) * 7 + 66) >> 7) + 16, 0, 255) per lane, as 16-bit codes
// (the clamp to 0..255 is the store's). Values beyond +-2400 give 0 or 255
// whatever their size, so they are clamped to that first; inside it every
// step fits 16 bits.
template <class V>
inline V FromYc48Codes(V v) {
    const V bounded = Min16(Max16(v, Splat16<V>(-2400)), Splat16<V>(2400));
    const V scaled = MulLo16(Add16(bounded, Splat16<V>(2048)), Splat16<V>(7));
    return Add16(ShiftRight16<7>(Add16(scaled, Splat16<V>(66))), Splat16<V>(16));
}

void ToYc48(int16_t* dst, const uint8_t* src, int count) {
    ForSamples(
        count, [=]<class V>(int i) { StoreWhole(dst + i, ToYc48(LoadWidenU8<V>(src + i))); },
        [=](int i) { dst[i] = Chroma8ToYc48Sample(src[i]); });
}

void FromYc48(uint8_t* dst, const int16_t* src, int count) {
    ForSamples(
        count, [=]<class V>(int i) { StoreNarrowU8(dst + i, FromYc48Codes(LoadWhole(src + i, V{}))); },
        [=](int i) { dst[i] = Chroma8FromYc48Sample(src[i]); });
}

// Samples i .. i + kSamples<V> - 1 of the four rows as that many positions:
// rows 0/1 and 2/3 side by side, then whole positions of all four.
template <class V>
inline void ToYc48QuadStep(int16_t* dst, const uint8_t* const (&rows)[4], int i) {
    V r[4];
    for (int k = 0; k < 4; ++k) r[k] = ToYc48(LoadWidenU8<V>(rows[k] + i));
    const V low01 = ZipLo16(r[0], r[1]);
    const V low23 = ZipLo16(r[2], r[3]);
    const V high01 = ZipHi16(r[0], r[1]);
    const V high23 = ZipHi16(r[2], r[3]);
    V out[4] = {ZipLo32(low01, low23), ZipHi32(low01, low23), ZipLo32(high01, high23),
                ZipHi32(high01, high23)};
    HalvesInOrder(out);
    for (int k = 0; k < 4; ++k) StoreWhole(dst + 4 * i + k * kSamples<V>, out[k]);
}

// The row addresses are copied first: the vector stores may alias anything,
// so addresses read through `rows` would be read again after each store.
void ToYc48Quad(int16_t* dst, const uint8_t* const (&rows)[4], int count) {
    const uint8_t* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    ForSamples(
        count, [dst, &r]<class V>(int i) { ToYc48QuadStep<V>(dst, r, i); },
        [&](int i) {
            for (int k = 0; k < 4; ++k) dst[4 * i + k] = Chroma8ToYc48Sample(rows[k][i]);
        });
}

// kSamples<V> positions from i on, taken apart into the four rows' lanes.
template <class V>
inline void FromYc48QuadStep(uint8_t* const (&rows)[4], const int16_t* src, int i) {
    const int16_t* in = src + 4 * i;
    V v[4];
    for (int k = 0; k < 4; ++k) v[k] = LoadWhole(in + k * kSamples<V>, V{});
    HalvesInterleaved(v);
    const V ab0 = ZipLo16(v[0], v[1]);  // lanes of positions 0 and 2, alternating
    const V ab1 = ZipHi16(v[0], v[1]);  // lanes of positions 1 and 3
    const V cd0 = ZipLo16(v[2], v[3]);
    const V cd1 = ZipHi16(v[2], v[3]);
    const V lanes01ab = ZipLo16(ab0, ab1);  // lane 0 of 0..3, lane 1 of 0..3
    const V lanes23ab = ZipHi16(ab0, ab1);
    const V lanes01cd = ZipLo16(cd0, cd1);
    const V lanes23cd = ZipHi16(cd0, cd1);
    const V lanes[4] = {ZipLo64(lanes01ab, lanes01cd), ZipHi64(lanes01ab, lanes01cd),
                        ZipLo64(lanes23ab, lanes23cd), ZipHi64(lanes23ab, lanes23cd)};
    for (int k = 0; k < 4; ++k) StoreNarrowU8(rows[k] + i, FromYc48Codes(QuartersInOrder(lanes[k])));
}

void FromYc48Quad(uint8_t* const (&rows)[4], const int16_t* src, int count) {
    uint8_t* const r[4] = {rows[0], rows[1], rows[2], rows[3]};
    ForSamples(
        count, [src, &r]<class V>(int i) { FromYc48QuadStep<V>(r, src, i); },
        [&](int i) {
            for (int k = 0; k < 4; ++k) rows[k][i] = Chroma8FromYc48Sample(src[4 * i + k]);
        });
}
