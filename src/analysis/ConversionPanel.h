// The conversion panel inside the video panel: the target buttons (AVI, VCD,
// SVCD, CVD, DVD), the framing buttons (16:9, 4:3) and the size steps of the
// AVI target drive the resize calculator and rewrite the two instruction
// lines "1" and "2" of the video panel. The window only forwards its buttons.
#pragma once

#include "analysis/Display.h"
#include "resize/ResizeCalculator.h"

namespace torvo {

class CConversionPanel {
public:
    explicit CConversionPanel(Display& display) : display_(display) {}

    // Takes the source of the file just analysed: the AVI target, the
    // source's own framing and no size steps, as the video summary shows it.
    void Follow();
    // False when the file has no standard source to convert.
    bool Available() const { return available_; }

    // A target row 0-3 (VCD, SVCD, CVD, DVD) or kTargetSquare (AVI).
    void ChooseTarget(int target);
    void SetAnamorphic(bool anamorphic);
    // One size step of the AVI target up (+1) or down (-1); a step past the
    // smallest or largest size is refused and the lines stay.
    void Step(int delta);

    int Target() const { return record_.target; }
    bool Anamorphic() const { return record_.anamorphic; }
    int Steps() const { return record_.steps; }

private:
    void Show(bool clearFirst);

    Display& display_;
    ResizeRecord record_;
    bool available_ = false;
};

}  // namespace torvo
