#pragma once
// The animation between two full forms: started with a picture of what was shown before, a
// direction (+1 while its form opens, -1 while it closes) and the form; it is ticked and drawn
// in place of the forms until it finishes (direction 0). Turning the direction round plays it
// back from where it is.
#include <memory>

class Canvas;
class RenderSurface;
class SkinForm;

class Transition {
public:
    Transition();
    virtual ~Transition();
    Transition(const Transition&) = delete;
    Transition& operator=(const Transition&) = delete;

    // The form is drawn once, as it is now, into the transition's own picture.
    void start(std::unique_ptr<RenderSurface> before, int direction, SkinForm& form);
    void tick(double seconds);
    void draw(Canvas& canvas);

    int direction() const { return m_direction; }
    void set_direction(int direction);
    bool finished() const { return m_direction == 0; }
    SkinForm* form() const { return m_form; }
    // 0 shows only the picture before, 1 only the form.
    double progress() const { return m_progress; }

protected:
    // Seconds for a whole run from 0 to 1.
    virtual double duration() const { return 0.25; }
    virtual void draw_frame(Canvas& canvas, const RenderSurface& before, const RenderSurface& form,
                            double progress) = 0;

private:
    std::unique_ptr<RenderSurface> m_before;
    std::unique_ptr<RenderSurface> m_picture;
    SkinForm* m_form = nullptr;
    int m_direction = 0;
    double m_progress = 0.0;
};

// The new form slides in from the right edge and pushes the old picture a third of the way to
// the left, dimming it; closing plays the same movement backwards.
class SlideTransition final : public Transition {
protected:
    void draw_frame(Canvas& canvas, const RenderSurface& before, const RenderSurface& form,
                    double progress) override;
};
