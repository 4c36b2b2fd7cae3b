#pragma once
// A device screen for the zoom views before the keyboard form draws itself: a note pad with
// text, a keyboard of drawn keys standing on the menu bar, and the skin's lens border, so that
// every zoom style can be composed and looked at as the device would show it.
#include "keyboard/ZoomView.h"
#include "skin/file/PictureRef.h"
#include "skin/drawing/RenderSurface.h"

#include <memory>

struct ZoomScene {
    // scale 1 is QVGA (240x320), 2 is VGA (480x640).
    explicit ZoomScene(int scale);

    int scale;
    POINT screen;
    int bottom_offset; // the menu bar under the keyboard
    POINT form; // the keyboard's size
    int key_height;
    RenderSurface device; // the whole screen
    RenderSurface keyboard; // the keyboard as it draws itself
    PictureRef border; // "GlassBorder": a ring, key outside
    PictureRef background; // "background": behind the keys

    POINT keyboard_origin() const { return POINT { 0, screen.y - bottom_offset - form.y }; }
    // The centre of the key in row r, column c (11 columns).
    POINT key_centre(int row, int column) const;

    ZoomView::FormPainter painter() const;
    // Sets the view up for a style with the default lens, as the keyboard does.
    void configure(ZoomView& view, ZoomStyle style) const;

    // One frame on a copy of the device screen: the capture taken from under the zoom window,
    // the view painted, the keyboard and (when drawn) the zoom window put in place.
    std::unique_ptr<RenderSurface> compose(ZoomView& view, const ZoomFrame& frame) const;
};
