// Our span operations against pixman and memcpy on the same pixels, at the keyboard's two frame
// sizes. After Google Benchmark's own lines, a table gives each result in microseconds and as
// ratios to memcpy and to pixman, with the targets we hold ourselves to.
#include "skin/Blit.h"
#include "skin/PixelBuffer.h"
#include "skin/PixelOps.h"

#include <benchmark/benchmark.h>
#include <pixman.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

struct Size {
    int w, h;
};
constexpr Size kSizes[] = { { 480, 200 }, { 240, 100 } };

std::string size_name(Size s)
{
    return std::to_string(s.w) + "x" + std::to_string(s.h);
}

// Pixels as skins hold them: opaque colours, or translucent ones already weighted.
std::unique_ptr<PixelBuffer> make_buffer(int w, int h, bool translucent)
{
    auto b = PixelBuffer::create(w, h);
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            seed = seed * 1664525u + 1013904223u;
            uint16_t p = static_cast<uint16_t>(seed >> 16);
            p = translucent ? ((p >> 1) & 0x7BEF & ~0x0020) : (p | 0x0020);
            b->row(y)[x] = p == 0xF81F ? 0 : p;
        }
    return b;
}

pixman_image_t* wrap(PixelBuffer& b)
{
    return pixman_image_create_bits(PIXMAN_r5g6b5, b.width(), b.height(), reinterpret_cast<uint32_t*>(b.pixels()), b.pitch());
}

// ---- copy ----------------------------------------------------------------------------------

void copy_memcpy(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w, s.h, false), dst = make_buffer(s.w, s.h, false);
    // Rows are contiguous at these widths: one call, the fastest way to move the bytes.
    for (auto _ : state) {
        std::memcpy(dst->pixels(), src->pixels(), static_cast<size_t>(dst->pitch()) * s.h);
        benchmark::DoNotOptimize(dst->pixels());
        benchmark::ClobberMemory();
    }
}

void copy_ours(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w, s.h, false), dst = make_buffer(s.w, s.h, false);
    Canvas canvas(dst.get());
    for (auto _ : state) {
        clipped_copy(canvas, POINT { 0, 0 }, POINT { s.w, s.h }, *src, POINT { 0, 0 }, copy_op());
        benchmark::ClobberMemory();
    }
}

void copy_pixman(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w, s.h, false), dst = make_buffer(s.w, s.h, false);
    pixman_image_t *ps = wrap(*src), *pd = wrap(*dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// ---- copy of a rectangle inside wider buffers: one span per row ----------------------------------

constexpr int kMargin = 16;

void rows_memcpy(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w + kMargin, s.h, false), dst = make_buffer(s.w + kMargin, s.h, false);
    for (auto _ : state) {
        for (int y = 0; y < s.h; ++y)
            std::memcpy(dst->row(y) + 8, src->row(y) + 8, s.w * 2);
        benchmark::DoNotOptimize(dst->pixels());
        benchmark::ClobberMemory();
    }
}

void rows_ours(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w + kMargin, s.h, false), dst = make_buffer(s.w + kMargin, s.h, false);
    Canvas canvas(dst.get());
    for (auto _ : state) {
        clipped_copy(canvas, POINT { 8, 0 }, POINT { s.w, s.h }, *src, POINT { 8, 0 }, copy_op());
        benchmark::ClobberMemory();
    }
}

void rows_pixman(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w + kMargin, s.h, false), dst = make_buffer(s.w + kMargin, s.h, false);
    pixman_image_t *ps = wrap(*src), *pd = wrap(*dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 8, 0, 0, 0, 8, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// ---- nearest scaling by 2 --------------------------------------------------------------------

void scale2_memcpy(benchmark::State& state, Size s)
{
    copy_memcpy(state, s); // the same destination bytes
}

void scale2_ours(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w / 2, s.h / 2, false), dst = make_buffer(s.w, s.h, false);
    Canvas canvas(dst.get());
    for (auto _ : state) {
        scaled_copy(canvas, POINT { 0, 0 }, POINT { s.w, s.h }, *src, POINT { 0, 0 }, POINT { s.w / 2, s.h / 2 }, copy_op());
        benchmark::ClobberMemory();
    }
}

void scale2_pixman(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w / 2, s.h / 2, false), dst = make_buffer(s.w, s.h, false);
    pixman_image_t *ps = wrap(*src), *pd = wrap(*dst);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(0.5), pixman_double_to_fixed(0.5));
    pixman_image_set_transform(ps, &t);
    pixman_image_set_filter(ps, PIXMAN_FILTER_NEAREST, nullptr, 0);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// ---- half blend -------------------------------------------------------------------------------

void half_memcpy(benchmark::State& state, Size s)
{
    copy_memcpy(state, s);
}

void half_ours(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w, s.h, true), dst = make_buffer(s.w, s.h, false);
    Canvas canvas(dst.get());
    AlphaLevelOp half(128);
    for (auto _ : state) {
        clipped_copy(canvas, POINT { 0, 0 }, POINT { s.w, s.h }, *src, POINT { 0, 0 }, half);
        benchmark::ClobberMemory();
    }
}

void half_pixman(benchmark::State& state, Size s)
{
    auto src = make_buffer(s.w, s.h, false), dst = make_buffer(s.w, s.h, false);
    pixman_image_t *ps = wrap(*src), *pd = wrap(*dst);
    pixman_color_t half { 0, 0, 0, 0x8000 };
    pixman_image_t* mask = pixman_image_create_solid_fill(&half);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_OVER, ps, mask, pd, 0, 0, 0, 0, 0, 0, s.w, s.h);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(mask);
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// ---- fill (for information) -------------------------------------------------------------------

void fill_memcpy(benchmark::State& state, Size s)
{
    copy_memcpy(state, s);
}

void fill_ours(benchmark::State& state, Size s)
{
    auto dst = make_buffer(s.w, s.h, false);
    Canvas canvas(dst.get());
    for (auto _ : state) {
        fill(canvas, POINT { 0, 0 }, POINT { s.w, s.h }, SkinColor { 10, 200, 30, 255 });
        benchmark::ClobberMemory();
    }
}

void fill_pixman(benchmark::State& state, Size s)
{
    auto dst = make_buffer(s.w, s.h, false);
    for (auto _ : state) {
        pixman_fill(reinterpret_cast<uint32_t*>(dst->pixels()), dst->pitch() / 4, 16, 0, 0, s.w, s.h, 0x0E43);
        benchmark::ClobberMemory();
    }
}

// ---- the summary ------------------------------------------------------------------------------

class SummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs)
            if (!r.error_occurred && r.run_type == Run::RT_Iteration)
                micros[r.benchmark_name()] = r.GetAdjustedCPUTime();
    }
    // CPU time: the machine is shared, and waiting for a core is not the code's cost.
    std::map<std::string, double> micros; // "work/who/size" -> microseconds per frame
};

struct Target {
    const char* work;
    const char* text;
    bool (*met)(double ours, double pixman, double memcpy);
};

const Target kTargets[] = {
    { "copy", "within 1.5x of memcpy", [](double o, double, double m) { return o <= 1.5 * m; } },
    { "copyrows", "within 1.5x of memcpy", [](double o, double, double m) { return o <= 1.5 * m; } },
    { "scale2", "no slower than pixman", [](double o, double p, double) { return o <= p; } },
    { "half", "at least 3x faster than pixman", [](double o, double p, double) { return p >= 3 * o; } },
    { "fill", "(for information)", nullptr },
};

void print_summary(const SummaryReporter& reporter)
{
    std::printf("\n%-9s %-8s %10s %10s %10s %9s %9s  %s\n", "work", "size", "ours us", "pixman us", "memcpy us", "/memcpy",
                "/pixman", "target");
    bool all = true;
    for (const Target& t : kTargets)
        for (Size s : kSizes) {
            auto get = [&](const char* who) {
                auto it = reporter.micros.find(std::string(t.work) + "/" + who + "/" + size_name(s));
                return it == reporter.micros.end() ? -1.0 : it->second;
            };
            double o = get("ours"), p = get("pixman"), m = get("memcpy");
            if (o < 0 || p < 0 || m < 0)
                continue; // filtered out
            std::string verdict = t.met ? (t.met(o, p, m) ? "met: " : "MISSED: ") + std::string(t.text) : t.text;
            all = all && (!t.met || t.met(o, p, m));
            std::printf("%-9s %-8s %10.1f %10.1f %10.1f %9.2f %9.2f  %s\n", t.work, size_name(s).c_str(), o, p, m, o / m, o / p,
                        verdict.c_str());
        }
    std::printf("%s\n", all ? "all targets met" : "some targets missed");
}

void register_all()
{
    using Fn = void (*)(benchmark::State&, Size);
    struct Work {
        const char* name;
        Fn ours, pixman, memcpy;
    } works[] = {
        { "copy", copy_ours, copy_pixman, copy_memcpy },
        { "copyrows", rows_ours, rows_pixman, rows_memcpy },
        { "scale2", scale2_ours, scale2_pixman, scale2_memcpy },
        { "half", half_ours, half_pixman, half_memcpy },
        { "fill", fill_ours, fill_pixman, fill_memcpy },
    };
    for (const Work& w : works)
        for (Size s : kSizes) {
            std::string suffix = "/" + size_name(s);
            benchmark::RegisterBenchmark((std::string(w.name) + "/ours" + suffix).c_str(), w.ours, s)->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((std::string(w.name) + "/pixman" + suffix).c_str(), w.pixman, s)->Unit(benchmark::kMicrosecond);
            benchmark::RegisterBenchmark((std::string(w.name) + "/memcpy" + suffix).c_str(), w.memcpy, s)->Unit(benchmark::kMicrosecond);
        }
}

} // namespace

int main(int argc, char** argv)
{
    register_all();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    print_summary(reporter);
    benchmark::Shutdown();
    return 0;
}
