// Our span operations against pixman and memcpy on the same pixels, at the keyboard's two frame
// sizes. After Google Benchmark's own lines, a table gives each result in microseconds and as
// ratios to memcpy and to pixman, with the targets we hold ourselves to.
#include "keyboard/KeyboardForm.h"
#include "kbfiles/LayoutSelection.h"
#include "keyboard/LensTable.h"
#include "keyboard/ZoomView.h"
#include "skin/drawing/Blit.h"
#include "skin/file/DisplayInfo.h"
#include "skin/file/Properties.h"
#include "skin/elements/StandardElements.h"
#include "skin/file/Picture.h"
#include "skin/drawing/PixelBuffer.h"
#include "skin/drawing/PixelOps.h"

#include <benchmark/benchmark.h>
#include <pixman.h>
#include <simhost.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
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


// ---- the zoom views at VGA: a 480x200 keyboard, a 180x180 lens ---------------------------------

constexpr int kFormW = 480, kFormH = 200, kLens = 180, kStrip = 47;
// The lens magnifies its centre sqrt(90^2 + 50^2) / 50 times; pixman gets that one factor.
const double kLensScale = std::sqrt(90.0 * 90 + 50.0 * 50) / 50.0;

void lensmap_memcpy(benchmark::State& state, Size)
{
    copy_memcpy(state, Size { kLens, kLens });
}

void lensmap_ours(benchmark::State& state, Size)
{
    auto src = make_buffer(kLens, kLens, false), dst = make_buffer(kLens, kLens, false), bg = make_buffer(kLens, kLens, false);
    for (int y = 0; y < kLens; ++y) // the keyboard's transparent margin over a quarter of the lens
        for (int x = 0; x < kLens / 2; ++x)
            if (y < kLens / 2)
                src->row(y)[x] = 0xF81F;
    LensTable table;
    table.build(kLens, kLens, 50.0);
    for (auto _ : state) {
        table.map(*src, *dst, bg.get());
        benchmark::ClobberMemory();
    }
}

// The same without the vector unit, as the device's processor runs it.
void lensmapportable_ours(benchmark::State& state, Size)
{
    auto src = make_buffer(kLens, kLens, false), dst = make_buffer(kLens, kLens, false), bg = make_buffer(kLens, kLens, false);
    for (int y = 0; y < kLens / 2; ++y)
        for (int x = 0; x < kLens / 2; ++x)
            src->row(y)[x] = 0xF81F;
    LensTable table;
    table.build(kLens, kLens, 50.0);
    const int count = kLens * kLens - kLens;
    for (auto _ : state) {
        lens_map_keyed_portable_0565(dst->pixels(), count, src->pixels(), table.entries(), kLens, bg->pixels(),
                                     bg->pixels() + kLens * kLens - 1);
        benchmark::ClobberMemory();
    }
}

pixman_image_t* scaled_source(PixelBuffer& b, double scale, pixman_filter_t filter)
{
    pixman_image_t* image = wrap(b);
    pixman_transform_t t;
    pixman_transform_init_scale(&t, pixman_double_to_fixed(1 / scale), pixman_double_to_fixed(1 / scale));
    pixman_image_set_transform(image, &t);
    pixman_image_set_filter(image, filter, nullptr, 0);
    return image;
}

void lensmap_pixman(benchmark::State& state, Size)
{
    auto src = make_buffer(kLens, kLens, false), dst = make_buffer(kLens, kLens, false);
    pixman_image_t *ps = scaled_source(*src, kLensScale, PIXMAN_FILTER_BILINEAR), *pd = wrap(*dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 0, 0, 0, 0, 0, 0, kLens, kLens);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// The flat zoom's scaling: the keyboard at twice its size into the keyboard and the strip.
void flatscale_memcpy(benchmark::State& state, Size)
{
    copy_memcpy(state, Size { kFormW, kFormH + kStrip });
}

void flatscale_ours(benchmark::State& state, Size)
{
    auto src = make_buffer(kFormW, kFormH, false), dst = make_buffer(kFormW, kFormH + kStrip, false);
    Canvas canvas(dst.get());
    for (auto _ : state) {
        scale_nearest(canvas, POINT { -200, kStrip - 150 }, POINT { 2 * kFormW, 2 * kFormH }, *src);
        benchmark::ClobberMemory();
    }
}

void flatscale_pixman(benchmark::State& state, Size)
{
    auto src = make_buffer(kFormW, kFormH, false), dst = make_buffer(kFormW, kFormH + kStrip, false);
    pixman_image_t *ps = scaled_source(*src, 2.0, PIXMAN_FILTER_NEAREST), *pd = wrap(*dst);
    for (auto _ : state) {
        pixman_image_composite32(PIXMAN_OP_SRC, ps, nullptr, pd, 200, 150 - kStrip, 0, 0, 0, 0, kFormW, kFormH + kStrip);
        benchmark::ClobberMemory();
    }
    pixman_image_unref(ps);
    pixman_image_unref(pd);
}

// Whole frames: everything ZoomView::paint does for one paint, with a form that draws itself by
// one copy. memcpy moves the bytes the frame writes to its two windows; pixman does the
// frame's magnification (nearest for the flat zoom, bilinear over the lens otherwise).
struct FrameRig {
    explicit FrameRig(ZoomStyle style)
        : form(make_buffer(kFormW, kFormH, false))
    {
        for (int y = 0; y < form->height(); ++y)
            for (int x = 0; x < form->width(); ++x)
                form->row(y)[x] |= 0x20;
        const PixelBuffer* picture = form.get();
        view.set_form(POINT { kFormW, kFormH }, [picture](Canvas& c, POINT at) {
            clipped_copy(c, at, POINT { kFormW, kFormH }, *picture, POINT { 0, 0 }, copy_op());
        });
        view.set_lens(POINT { kLens, kLens }, 50.0);
        POINT window = style == ZoomStyle::Flat ? POINT { kFormW, kStrip }
            : style == ZoomStyle::Glass        ? POINT { kLens, kLens }
            : style == ZoomStyle::IZoom        ? POINT { kFormW, kLens }
                                               : POINT { 0, 0 };
        view.set_window_size(window);
        auto ring = PixelBuffer::create(90, 90);
        for (int y = 0; y < 90; ++y)
            for (int x = 0; x < 90; ++x) {
                double d = std::hypot(x - 44.5, y - 44.5);
                ring->row(y)[x] = d < 40 ? 0x0000 : d < 44 ? 0xDEFB : 0xF81F;
            }
        PictureRef border { POINT { 0, 0 }, POINT { 88, 88 }, POINT { 92, 92 }, POINT { 180, 180 },
            std::make_shared<Picture>(std::move(ring), u"GlassBorder"), 1, 0 };
        PictureRef background { POINT { 0, 0 }, POINT { 1, 1 }, POINT { 7, 7 }, POINT { 8, 8 },
            std::make_shared<Picture>(make_buffer(8, 8, false), u"background"), 0, 0 };
        view.set_pictures(border, background);
        if (window.x > 0) {
            capture = make_buffer(window.x, window.y, false);
            out_window = make_buffer(window.x, window.y, false);
        }
        out_keyboard = make_buffer(kFormW, kFormH, false);
        frame.style = style;
        frame.level = 2.0;
        frame.stylus = POINT { 240, 60 };
        frame.shift = zoom_shift(2.0, frame.stylus, POINT { 0, 8 }, 2.0);
        frame.window_visible = true;
    }
    void paint()
    {
        Canvas keyboard(out_keyboard.get());
        Canvas window(out_window.get());
        view.paint(frame, capture.get(), keyboard, out_window ? &window : nullptr);
    }
    size_t bytes() const
    {
        return static_cast<size_t>(out_keyboard->pitch()) * kFormH
            + (out_window ? static_cast<size_t>(out_window->pitch()) * out_window->height() : 0);
    }
    std::unique_ptr<PixelBuffer> form, capture, out_keyboard, out_window;
    ZoomView view;
    ZoomFrame frame;
};

// The shipped keyboard at VGA, installed on a scratch device: the frames above with the form
// drawing itself as it does on the device.
struct ShippedForm {
    ShippedForm()
    {
        char dir[] = "/tmp/zoom-bench-XXXXXX";
        if (!mkdtemp(dir))
            return;
        root = dir;
        SimSetDeviceRoot(dir);
        std::filesystem::path target = root + "/Program Files/Tarn/Magnikeys";
        std::filesystem::create_directories(target);
        std::filesystem::copy(MK_DATA_DIR, target, std::filesystem::copy_options::recursive);
        register_element_types(types);
        DisplayInfo display;
        display.dpi = 192;
        if (!props.load_skin(u"\\Program Files\\Tarn\\Magnikeys\\skins\\bin\\default.skin", display))
            return;
        form = std::make_unique<KeyboardForm>(props, u"normal", false);
        form->set_visible(true);
        LayoutSelection layouts;
        std::u16string text, short_name;
        if (layouts.load(text, short_name, false, false))
            form->set_layout(text, short_name, false);
    }
    ~ShippedForm()
    {
        form.reset();
        unregister_element_types(types);
        if (!root.empty())
            std::filesystem::remove_all(root);
    }
    const std::vector<std::u16string> types = { u"node", u"oldtext", u"text", u"color", u"image", u"edit", u"htable",
        u"vtable", u"button", u"vlist", u"checkbox", u"progress", u"clip" };
    std::string root;
    Properties props;
    std::unique_ptr<KeyboardForm> form;
};

ShippedForm& shipped_form()
{
    static ShippedForm shipped;
    return shipped;
}

void shipped_ours(benchmark::State& state, ZoomStyle style)
{
    ShippedForm& shipped = shipped_form();
    if (!shipped.form) {
        state.SkipWithError("the shipped keyboard did not load");
        return;
    }
    FrameRig rig(style);
    KeyboardForm* form = shipped.form.get();
    const POINT size = form->size();
    rig.out_keyboard = make_buffer(size.x, size.y, false);
    rig.view.set_form(size, [form](Canvas& c, POINT at) { form->paint(c, at); });
    if (style == ZoomStyle::Flat || style == ZoomStyle::IZoom) {
        POINT window { size.x, style == ZoomStyle::Flat ? kStrip : kLens };
        rig.view.set_window_size(window);
        rig.capture = make_buffer(window.x, window.y, false);
        rig.out_window = make_buffer(window.x, window.y, false);
    }
    rig.frame.stylus = POINT { size.x / 2, size.y / 3 };
    for (auto _ : state) {
        rig.paint();
        benchmark::ClobberMemory();
    }
}

void frame_ours(benchmark::State& state, ZoomStyle style)
{
    FrameRig rig(style);
    for (auto _ : state) {
        rig.paint();
        benchmark::ClobberMemory();
    }
}

void frame_memcpy(benchmark::State& state, ZoomStyle style)
{
    FrameRig rig(style);
    std::vector<uint8_t> from(rig.bytes()), to(rig.bytes());
    for (auto _ : state) {
        std::memcpy(to.data(), from.data(), to.size());
        benchmark::DoNotOptimize(to.data());
        benchmark::ClobberMemory();
    }
}

void frame_pixman(benchmark::State& state, ZoomStyle style)
{
    switch (style) {
    case ZoomStyle::Flat: flatscale_pixman(state, Size {}); break;
    case ZoomStyle::Glass:
    case ZoomStyle::IZoom: lensmap_pixman(state, Size {}); break;
    default: copy_pixman(state, Size { kFormW, kFormH }); break;
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

// The zoom views are measured at VGA only, the larger of the two screens.
const Target kZoomTargets[] = {
    { "lensmap", "at least 10x faster than pixman's bilinear", [](double o, double p, double) { return p >= 10 * o; } },
    { "lensmapportable", "(for information: without AVX2)", nullptr },
    { "flatscale", "at least 0.8x pixman's nearest speed", [](double o, double p, double) { return 0.8 * o <= p; } },
    { "frame_simple", "under 800 us (2% of a 40 ms frame)", [](double o, double, double) { return o < 800; } },
    { "frame_flat", "under 800 us (2% of a 40 ms frame)", [](double o, double, double) { return o < 800; } },
    { "frame_glass", "under 800 us (2% of a 40 ms frame)", [](double o, double, double) { return o < 800; } },
    { "frame_izoom", "under 800 us (2% of a 40 ms frame)", [](double o, double, double) { return o < 800; } },
    { "shipped_simple", "under 800 us with the shipped form", [](double o, double, double) { return o < 800; } },
    { "shipped_flat", "under 800 us with the shipped form", [](double o, double, double) { return o < 800; } },
    { "shipped_glass", "under 800 us with the shipped form", [](double o, double, double) { return o < 800; } },
    { "shipped_izoom", "under 800 us with the shipped form", [](double o, double, double) { return o < 800; } },
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
    for (const Target& t : kZoomTargets) {
        auto get = [&](const char* who) {
            auto it = reporter.micros.find(std::string(t.work) + "/" + who + "/vga");
            return it == reporter.micros.end() ? -1.0 : it->second;
        };
        double o = get("ours"), p = get("pixman"), m = get("memcpy");
        if (o < 0 || p < 0 || m < 0)
            continue;
        bool met = !t.met || t.met(o, p, m);
        all = all && met;
        std::printf("%-15s %-3s %10.1f %10.1f %10.1f %9.2f %9.2f  %s%s\n", t.work, "vga", o, p, m, o / m, o / p,
                    !t.met ? "" : met ? "met: " : "MISSED: ", t.text);
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
    const Work zoom_works[] = {
        { "lensmap", lensmap_ours, lensmap_pixman, lensmap_memcpy },
        { "lensmapportable", lensmapportable_ours, lensmap_pixman, lensmap_memcpy },
        { "flatscale", flatscale_ours, flatscale_pixman, flatscale_memcpy },
    };
    for (const Work& w : zoom_works)
        for (const char* who : { "ours", "pixman", "memcpy" }) {
            Fn fn = who[0] == 'o' ? w.ours : who[0] == 'p' ? w.pixman : w.memcpy;
            benchmark::RegisterBenchmark((std::string(w.name) + "/" + who + "/vga").c_str(), fn, Size {})->Unit(benchmark::kMicrosecond);
        }
    const std::pair<const char*, ZoomStyle> styles[] = {
        { "simple", ZoomStyle::Simple }, { "flat", ZoomStyle::Flat }, { "glass", ZoomStyle::Glass }, { "izoom", ZoomStyle::IZoom }
    };
    using FrameFn = void (*)(benchmark::State&, ZoomStyle);
    for (auto [name, style] : styles)
        for (auto [who, fn] : { std::pair<const char*, FrameFn> { "ours", frame_ours }, { "pixman", frame_pixman }, { "memcpy", frame_memcpy } })
            benchmark::RegisterBenchmark((std::string("frame_") + name + "/" + who + "/vga").c_str(), fn, style)->Unit(benchmark::kMicrosecond);
    for (auto [name, style] : styles)
        for (auto [who, fn] : { std::pair<const char*, FrameFn> { "ours", shipped_ours }, { "pixman", frame_pixman }, { "memcpy", frame_memcpy } })
            benchmark::RegisterBenchmark((std::string("shipped_") + name + "/" + who + "/vga").c_str(), fn, style)->Unit(benchmark::kMicrosecond);
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
