#include "analysis/ConversionPanel.h"

namespace torvo {

void CConversionPanel::Follow() {
    const auto& source = display_.ConversionSource();
    available_ = source.has_value();
    record_ = source.value_or(ResizeRecord{});
    record_.target = kTargetSquare;
    record_.steps = 0;
    // The lines the video summary showed for that target; a refused first
    // step keeps them.
    record_.resizeLine = display_.VideoPanel().Get("1");
    record_.padTrimLine = display_.VideoPanel().Get("2");
}

void CConversionPanel::ChooseTarget(int target) {
    if (!available_ || (target != kTargetSquare && (target < 0 || target > 3))) return;
    record_.target = target;
    Show(true);
}

void CConversionPanel::SetAnamorphic(bool anamorphic) {
    if (!available_) return;
    record_.anamorphic = anamorphic;
    Show(true);
}

void CConversionPanel::Step(int delta) {
    if (!available_ || delta == 0) return;
    record_.target = kTargetSquare;
    record_.steps += delta > 0 ? 1 : -1;
    // A refused step takes the count back and leaves the lines as they were.
    Show(false);
}

void CConversionPanel::Show(bool clearFirst) {
    if (clearFirst) {
        // A target the calculator has nothing for shows empty lines rather
        // than those of the target before it.
        record_.resizeLine.clear();
        record_.padTrimLine.clear();
    }
    ComputeResize(record_);
    display_.VideoPanel().Set("1", record_.resizeLine);
    display_.VideoPanel().Set("2", record_.padTrimLine);
}

}  // namespace torvo
