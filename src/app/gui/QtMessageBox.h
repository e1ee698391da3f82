// Messages of the core shown in Qt message boxes.
#pragma once

#include "analysis/MessageBox.h"

class QWidget;

namespace torvo::gui {

class CQtMessageBox : public IMessageBox {
public:
    // Boxes are modal to the owner once it is set.
    void SetOwner(QWidget* owner) { owner_ = owner; }
    MessageAnswer Show(std::string_view caption, std::string_view text, MessageIcon icon,
                       MessageButtons buttons) override;

private:
    QWidget* owner_ = nullptr;
};

}  // namespace torvo::gui
