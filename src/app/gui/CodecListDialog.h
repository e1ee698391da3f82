// The codec list windows of the desktop program, all on CDlgGenericList: the
// list of all codecs and filters with its row commands, the details of an
// entry, the media types of an entry or of all entries, the filters reading
// or writing a type, the merit dialog and an element's property page. The
// tables and the commands' rules come from the core; these only show them.
#pragma once

#include <QDialog>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "analysis/MessageBox.h"
#include "codeclist/CodecLists.h"
#include "inventory/Platform.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QSlider;

namespace torvo::gui {

class CDlgGenericList;

struct CodecListContext {
    CodecInventory* inventory = nullptr;
    GuidNameLookup names;
    std::function<bool()> expertMode;
    IMessageBox* messages = nullptr;
    // Makes the platform the expert commands and property pages act on
    // (null when it cannot be had); made once, when first needed.
    std::function<std::unique_ptr<IInventoryPlatform>()> makePlatform;

    IInventoryPlatform* Platform();
    bool HasPropertyPage(int entry);

private:
    std::unique_ptr<IInventoryPlatform> platform_;
    bool platformTried_ = false;
    std::map<int, bool> propertyPages_;
};

// Each opens a window that deletes itself when closed and returns it (null
// when there is nothing to show).
CDlgGenericList* ShowCodecList(QWidget* parent, std::shared_ptr<CodecListContext> context, int preselectedEntry = -1);
CDlgGenericList* ShowEntryDetails(QWidget* parent, CodecInventory& inventory, int entry);
// entry -1: every registered type.
CDlgGenericList* ShowMediaTypes(QWidget* parent, std::shared_ptr<CodecListContext> context, int entry,
                                std::optional<MediaTypePair> preselect = std::nullopt);
CDlgGenericList* ShowFiltersForType(QWidget* parent, std::shared_ptr<CodecListContext> context,
                                    const MediaTypePair& type, bool writing);
CDlgGenericList* ShowPropertyPage(QWidget* parent, std::shared_ptr<CodecListContext> context, int entry);

// The merit dialog: the current merit as text and on a scale, a slider and
// an edit field linked to each other. OK is offered only for a number.
class CMeritSetDlg : public QDialog {
    Q_OBJECT
public:
    CMeritSetDlg(uint32_t current, QWidget* parent = nullptr);
    std::optional<uint32_t> Chosen() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void PlaceMarker();
    uint32_t current_;
    QWidget* scale_;
    QLabel *marker_, *beyond_;
    QSlider* slider_;
    QLineEdit* edit_;
    QPushButton* ok_;
};

}  // namespace torvo::gui
