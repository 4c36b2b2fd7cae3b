#pragma once
// The zoom views: what the keyboard window and the zoom window above it show while the stylus
// is down, in each board style. The view composes off-screen from the form's own drawing, the
// screen captured under the zoom window and the skin's lens border and keyboard background;
// the owner brings the zoom level, pan and stylus point, and copies the results to the windows.
#include "keyboard/LensTable.h"
#include "kbfiles/kbSettings.h"
#include "skin/file/PictureRef.h"
#include "skin/drawing/RenderSurface.h"

#include <windef.h>

#include <functional>

class Canvas;
class PixelBuffer;

enum class ZoomStyle { Simple = 0, Flat = 1, Glass = 2, IZoom = 3 };

// board_style's number; unknown numbers are the plain keyboard.
ZoomStyle zoom_style_for(int board_style);

// The lens of glass and i_zoom: glass_zoom_window_size (already clamped) times the screen's
// scale, cut to what the screen has room for above the keyboard and kept even.
POINT zoom_lens_size(kbIntPair glass_size, double scale, POINT screen, int bottom_offset, POINT form);

// The zoom window per style; key_height is the height of key 0's "#normal" child. Never
// taller than the room above the keyboard.
POINT zoom_window_size(ZoomStyle style, POINT form, int key_height, POINT lens, double scale, POINT screen,
                       int bottom_offset);

// Centred across the screen, standing on the keyboard.
POINT zoom_window_place(POINT window, POINT screen, int bottom_offset, int form_height);

// The flat zoom's pan at level z for the touch at down with the form's anchor offset.
POINT zoom_shift(double level, POINT down, POINT anchor_offset, double zoom_scale);

struct ZoomFrame {
    ZoomStyle style = ZoomStyle::Simple;
    double level = 1.0; // zoom level, 1.0 when not zoomed
    POINT shift {}; // zoom_shift(level), flat zoom only
    POINT stylus {}; // the current point, keyboard window coordinates
    bool window_visible = false;
    bool repeat = false;
};

// The form's picture for one frame, kept by its owner from frame to frame (FormPicture).
struct FormFrame {
    const PixelBuffer* picture = nullptr; // the form's size
    bool opaque = false; // covers whatever lies under it: copied as it is
    // What changed in the picture since the last frame drawn into the same keyboard target;
    // all when the target may hold anything else.
    bool all = true;
    RECT damage {};
    HDC dc = nullptr; // the picture's device context, when the platform can copy from it
};

class ZoomView {
public:
    // Draws the unscaled form into a canvas with its top-left at offset.
    using FormPainter = std::function<void(Canvas& canvas, POINT offset)>;

    void set_form(POINT size, FormPainter painter);
    // The lens tables follow the lens; they are rebuilt only when its size or radius changes.
    void set_lens(POINT size, double radius);
    void set_window_size(POINT size) { m_window_size = size; }
    void set_pictures(PictureRef border, PictureRef background);

    POINT form_size() const { return m_form_size; }
    POINT lens_size() const { return m_lens_size; }
    POINT window_size() const { return m_window_size; }
    const LensTable& lens_table() const { return m_table; }

    // One frame: the keyboard window's picture into keyboard at (0,0) and, when the style draws
    // the zoom window this frame, its picture into window (true). capture is the screen under
    // the zoom window, of the window's size; without it only the keyboard is drawn. The form
    // comes from form's picture when given, else from the painter. changed receives the part of
    // keyboard that this frame wrote: with a form picture whose damage is known, only what
    // differs from the last frame (the keys that changed and the zoom areas).
    // With picture_shown, a frame that puts nothing over an opaque form picture (no zoom over
    // the keys) leaves keyboard alone and sets it: changed is then the part of the form's
    // picture to show as it is. Later frames still write all they report in changed.
    bool paint(const ZoomFrame& frame, const PixelBuffer* capture, Canvas& keyboard, Canvas* window,
               const FormFrame* form = nullptr, RECT* changed = nullptr, bool* picture_shown = nullptr);

private:
    // The form's picture for this frame and how much of the keyboard target must be written.
    struct Source {
        const PixelBuffer* picture = nullptr;
        bool opaque = false;
        bool partial = false; // damage holds all that changed
        RECT damage {};
    };
    // What the keyboard target holds beyond the form's picture since the last frame.
    enum class Overlay { Unknown, None, Rect, All };

    Source form_source(const FormFrame* form);
    // Where the keyboard target may differ from the form's picture.
    RECT stale_region(const Source& source) const;
    // The form's picture into the keyboard target where it may differ; the part written.
    RECT refresh_keyboard(Canvas& keyboard, const Source& source, const PixelOp& op);
    // The form's picture is the frame's keyboard picture (region: the part to show), when the
    // caller can show it.
    bool show_picture(const Source& source, RECT& region);
    RECT paint_plain(Canvas& keyboard, const Source& source);
    bool paint_flat(const ZoomFrame& frame, const PixelBuffer* capture, Canvas& keyboard, Canvas* window,
                    const Source& source, RECT& changed);
    RECT paint_glass(const ZoomFrame& frame, const PixelBuffer& capture, Canvas& keyboard, Canvas& window,
                     const Source& source);
    RECT paint_izoom(const ZoomFrame& frame, const PixelBuffer& capture, Canvas& keyboard, Canvas& window,
                     const Source& source);
    // The lens image from the lens source; its last row, which the mapping never writes, is the
    // source's own.
    void map_lens(const PixelBuffer* see_through);

    POINT m_form_size {};
    FormPainter m_painter;
    POINT m_lens_size {};
    POINT m_window_size {};
    PictureRef m_border;
    PictureRef m_background;
    LensTable m_table;

    RenderSurface m_form; // the form drawn by the painter, when no picture is given
    RenderSurface m_work; // the part of the keyboard surface the lens reads, or the flat zoom's canvas
    RenderSurface m_lens_source;
    RenderSurface m_lens_image;
    RenderSurface m_backdrop; // the background picture at the i_zoom surface's size
    bool m_backdrop_valid = false;
    Overlay m_overlay = Overlay::Unknown;
    RECT m_overlay_rect {};
    bool m_may_show_picture = false; // this frame's caller can show the form's picture itself
    bool m_picture_shown = false;
    bool m_target_stale = false; // the keyboard target missed frames that showed the picture
};

// The rectangle (src_pos, size) of src, cut to src, drawn at dst_pos moved by what was cut.
void copy_region(Canvas& dst, POINT dst_pos, const PixelBuffer& src, POINT src_pos, POINT size, const PixelOp& op);

// Nearest-pixel scaling of all of src to (pos, size) in 10-bit fixed point, as scaled_copy does,
// copying a destination row again where the source row repeats.
void scale_nearest(Canvas& dst, POINT pos, POINT size, const PixelBuffer& src);
