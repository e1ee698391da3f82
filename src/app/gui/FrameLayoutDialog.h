// CFrameLayoutDlg: the VGS window. It only shows what the core's CFrameLayout
// draws and says (cells, hover and status texts); it owns no analysis.
#pragma once
#include <QDialog>
#include <array>
#include <memory>

#include "formats/vgs/FrameLayout.h"

class QCheckBox;
class QLabel;
class QScrollBar;

namespace torvo::gui {

class CFrameLayoutView;

class CFrameLayoutDlg : public QDialog {
    Q_OBJECT
public:
    CFrameLayoutDlg(CFrameLayout layout, QWidget* parent = nullptr);
    ~CFrameLayoutDlg() override;

    const CFrameLayout& Layout() const { return layout_; }
    size_t FirstPicture() const;

private:
    void OptionsChanged();
    void Relayout();  // the area's size or the options changed
    void Refresh();   // the first visible band moved

    CFrameLayout layout_;
    CFrameLayoutView* view_ = nullptr;
    QScrollBar* scroll_ = nullptr;
    QLabel* status_ = nullptr;
    QLabel* hover_ = nullptr;
    std::array<QCheckBox*, 5> options_{};
    friend class CFrameLayoutView;
};

}  // namespace torvo::gui
