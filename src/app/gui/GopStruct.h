// CGopStruct: the main window's narrow strip of the last pictures of a full
// scan. It shows what the core's CGopStrip draws and uses only whole 7-pixel
// cells of its width.
#pragma once
#include <QWidget>
#include <cstdint>
#include <vector>

namespace torvo::gui {

class CGopStruct : public QWidget {
public:
    explicit CGopStruct(QWidget* parent = nullptr);
    // Frame-list words of the last pictures, oldest first.
    void ShowPictures(const std::vector<uint32_t>& pictures);
    const std::vector<uint32_t>& Pictures() const { return pictures_; }
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<uint32_t> pictures_;
};

}  // namespace torvo::gui
