#include "CodecListDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QSlider>
#include <QTimer>
#include <QVBoxLayout>

#include "GenericList.h"
#include "GuiWidgets.h"
#include "base/Text.h"
#include "codeclist/CodecManagement.h"
#include "inventory/CodecListing.h"

namespace torvo::gui {
namespace {

GenericListSetup SetupOf(const ListTable& table) {
    GenericListSetup setup;
    setup.title = Lq(table.title);
    for (const std::string& h : table.headers) setup.headers << Lq(h);
    for (int w : table.widths) setup.widths << w;
    for (const ListRow& row : table.rows) {
        GenericListRow r;
        for (const std::string& c : row.cells) r.cells << Lq(c);
        r.colour = row.colour;
        r.data = row.data;
        setup.rows.push_back(std::move(r));
    }
    for (const ListLegend& l : table.legend) setup.legend.push_back({Lq(l.text), l.colour});
    setup.preselected = table.preselected;
    return setup;
}

CDlgGenericList* Open(QWidget* parent, GenericListSetup setup, const char* objectName) {
    auto* dialog = new CDlgGenericList(std::move(setup), parent);
    dialog->setObjectName(objectName);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
    return dialog;
}

void AddItems(CDlgGenericList& list, QMenu& menu, const std::vector<CodecMenuItem>& items) {
    for (const CodecMenuItem& item : items) {
        QAction* action = menu.addAction(Lq(item.text), &list, [&list, command = item.command] { list.RunCommand(command); });
        action->setObjectName(QString("command%1").arg(item.command));
        action->setEnabled(item.enabled);
    }
}

QStringList CellsOf(CodecEntry& entry) {
    QStringList cells;
    for (const std::string& c : CodecListCells(entry)) cells << Lq(c);
    return cells;
}

bool ValidEntry(const CodecListContext& context, qulonglong entry) {
    return context.inventory && entry < static_cast<qulonglong>(context.inventory->Count());
}

// The merit dialog as the merit change asks for it.
MeritPrompt MeritDialogPrompt(QWidget* parent) {
    return [parent](uint32_t current) -> std::optional<uint32_t> {
        CMeritSetDlg dialog(current, parent);
        if (dialog.exec() != QDialog::Accepted) return std::nullopt;
        return dialog.Chosen();
    };
}

void RunCodecCommand(CDlgGenericList& list, const std::shared_ptr<CodecListContext>& context, int command,
                     qulonglong data) {
    if (!ValidEntry(*context, data)) return;
    const int index = static_cast<int>(data);
    CodecEntry& entry = context->inventory->At(index);
    IMessageBox& messages = *context->messages;
    // The menu offers these only where they apply; a command that arrives
    // otherwise is ignored, never run.
    const bool expert = context->expertMode && context->expertMode();
    for (const CodecMenuItem& item : CodecRowMenu(entry, expert, true))
        if (item.command == command && !item.enabled) return;
    bool changed = false;
    switch (command) {
        case kCmdDetails: ShowEntryDetails(&list, *context->inventory, index); return;
        case kCmdMediaTypes: ShowMediaTypes(&list, context, index); return;
        case kCmdPropertyPage: ShowPropertyPage(&list, context, index); return;
        case kCmdReregister:
        case kCmdUnregister:
            if (IInventoryPlatform* platform = context->Platform())
                changed = RegisterFilter(*platform, entry, command == kCmdUnregister, messages);
            else
                messages.Show(Tr("Восстановление  "), RegisterFilterMessage(2, command == kCmdUnregister), MessageIcon::kWarning);
            break;
        case kCmdMerit:
            if (IInventoryPlatform* platform = context->Platform())
                changed = ChangeMerit(*platform, entry, messages, MeritDialogPrompt(&list));
            break;
        default: return;
    }
    if (changed) list.UpdateRow(data, CellsOf(entry), CodecRowColour(entry));
}

}  // namespace

IInventoryPlatform* CodecListContext::Platform() {
    if (!platformTried_ && makePlatform) {
        platformTried_ = true;
        platform_ = makePlatform();
    }
    return platform_.get();
}

bool CodecListContext::HasPropertyPage(int entry) {
    const auto known = propertyPages_.find(entry);
    if (known != propertyPages_.end()) return known->second;
    IInventoryPlatform* platform = Platform();
    const bool has = platform && inventory && entry >= 0 && entry < inventory->Count() &&
                     !platform->FilterProperties(std::string(inventory->At(entry).clsidText.View())).empty();
    propertyPages_[entry] = has;
    return has;
}

CDlgGenericList* ShowCodecList(QWidget* parent, std::shared_ptr<CodecListContext> context, int preselectedEntry) {
    if (!context->inventory) return nullptr;
    GenericListSetup setup = SetupOf(CodecListTable(*context->inventory, preselectedEntry));
    const bool preselected = setup.preselected >= 0;
    setup.contextMenu = [context](CDlgGenericList& list, qulonglong data, QMenu& menu) {
        if (!ValidEntry(*context, data)) return;
        const int index = static_cast<int>(data);
        const bool expert = context->expertMode && context->expertMode();
        AddItems(list, menu, CodecRowMenu(context->inventory->At(index), expert, context->HasPropertyPage(index)));
    };
    setup.command = [context](CDlgGenericList& list, int command, qulonglong data) {
        RunCodecCommand(list, context, command, data);
    };
    setup.details = [context, preselected, first = true](CDlgGenericList& list, qulonglong data) mutable {
        if (!ValidEntry(*context, data)) return;
        // Opened for one entry: its details stand in for the list.
        if (preselected && first) {
            first = false;
            ShowEntryDetails(list.parentWidget(), *context->inventory, static_cast<int>(data));
            QTimer::singleShot(0, &list, &QWidget::close);
            return;
        }
        first = false;
        ShowEntryDetails(&list, *context->inventory, static_cast<int>(data));
    };
    return Open(parent, std::move(setup), "codecList");
}

CDlgGenericList* ShowEntryDetails(QWidget* parent, CodecInventory& inventory, int entry) {
    if (entry < 0 || entry >= inventory.Count()) return nullptr;
    return Open(parent, SetupOf(DetailsTable(inventory.At(entry))), "entryDetails");
}

CDlgGenericList* ShowMediaTypes(QWidget* parent, std::shared_ptr<CodecListContext> context, int entry,
                                std::optional<MediaTypePair> preselect) {
    if (!context->inventory) return nullptr;
    CodecEntry* shown = entry >= 0 && entry < context->inventory->Count() ? &context->inventory->At(entry) : nullptr;
    if (entry >= 0 && !shown) return nullptr;
    auto rows = std::make_shared<std::vector<MediaTypeRow>>(shown ? EntryMediaTypes(*shown)
                                                                  : AllMediaTypes(*context->inventory));
    if (rows->empty()) {
        ShowNoMediaTypesMessage(*context->messages);
        return nullptr;
    }
    GenericListSetup setup = SetupOf(MediaTypeTable(shown, *rows, context->names, preselect));
    setup.contextMenu = [context, all = !shown](CDlgGenericList& list, qulonglong, QMenu& menu) {
        AddItems(list, menu, MediaTypeRowMenu(all, context->expertMode && context->expertMode()));
    };
    setup.command = [context, rows, entry, shown](CDlgGenericList& list, int command, qulonglong data) {
        if (data >= rows->size()) return;
        const MediaTypeRow& row = (*rows)[data];
        switch (command) {
            case kCmdReaders: ShowFiltersForType(&list, context, row.pair, false); break;
            case kCmdWriters: ShowFiltersForType(&list, context, row.pair, true); break;
            case kCmdNewType: ShowNewMediaTypeMessage(*context->messages); break;
            case kCmdRemoveType:
                if (!shown || !(context->expertMode && context->expertMode())) break;
                if (IInventoryPlatform* platform = context->Platform()) {
                    if (RemoveEntryMediaType(*platform, context->inventory->At(entry), row, context->names,
                                             *context->messages))
                        list.RemoveRow(data);
                }
                break;
            default: break;
        }
    };
    return Open(parent, std::move(setup), shown ? "entryMediaTypes" : "allMediaTypes");
}

CDlgGenericList* ShowFiltersForType(QWidget* parent, std::shared_ptr<CodecListContext> context,
                                    const MediaTypePair& type, bool writing) {
    if (!context->inventory) return nullptr;
    GenericListSetup setup = SetupOf(FiltersForType(*context->inventory, type, writing, context->names));
    setup.details = [context](CDlgGenericList& list, qulonglong data) {
        if (ValidEntry(*context, data)) ShowEntryDetails(&list, *context->inventory, static_cast<int>(data));
    };
    return Open(parent, std::move(setup), "typeFilters");
}

CDlgGenericList* ShowPropertyPage(QWidget* parent, std::shared_ptr<CodecListContext> context, int entry) {
    IInventoryPlatform* platform = context->Platform();
    if (!platform || !ValidEntry(*context, static_cast<qulonglong>(entry))) return nullptr;
    const CodecEntry& e = context->inventory->At(entry);
    const std::vector<FilterProperty> properties = platform->FilterProperties(std::string(e.clsidText.View()));
    if (properties.empty()) return nullptr;
    GenericListSetup setup;
    setup.title = Tq("Страница свойств %1").arg(Qs(e.name.View()));
    setup.headers = {Tq("Свойство"), Tq("Тип"), Tq("По умолчанию"), Tq("Описание")};
    setup.widths = {180, 110, 160, 450};
    for (size_t i = 0; i < properties.size(); ++i) {
        const FilterProperty& p = properties[i];
        // Read-only values are shown apart from the settings.
        setup.rows.push_back({{Qs(p.name), Lq(p.type), Lq(p.defaultValue), Lq(p.description)},
                              p.writable ? listcolour::kOther : listcolour::kRenderer, i});
    }
    setup.legend = {{Tq("Настраивается"), listcolour::kOther}, {Tq("Только чтение"), listcolour::kRenderer}};
    return Open(parent, std::move(setup), "propertyPage");
}

CMeritSetDlg::CMeritSetDlg(uint32_t current, QWidget* parent) : QDialog(parent), current_(current) {
    setObjectName("meritDialog");
    setWindowTitle(Tq("Приоритет фильтра"));
    auto* layout = new QVBoxLayout(this);
    auto* now = new QLabel(Tq("Действующий приоритет: 0x%1").arg(current, 6, 16, QChar('0')), this);
    now->setObjectName("currentMerit");
    layout->addWidget(now);

    // The scale from 0 to 0x1000000 with a marker at the current merit.
    scale_ = new QWidget(this);
    scale_->setObjectName("meritScale");
    scale_->setMinimumHeight(22);
    marker_ = new QLabel("▼", scale_);
    marker_->setObjectName("meritMarker");
    beyond_ = new QLabel(Tq("за шкалой: 0x%1").arg(current, 8, 16, QChar('0')), this);
    beyond_->setObjectName("meritBeyond");
    layout->addWidget(scale_);
    layout->addWidget(beyond_);
    auto* ends = new QHBoxLayout;
    ends->addWidget(new QLabel("0", this));
    ends->addStretch(1);
    ends->addWidget(new QLabel("0x1000000", this));
    layout->addLayout(ends);

    slider_ = new QSlider(Qt::Horizontal, this);
    slider_->setObjectName("meritSlider");
    slider_->setRange(0, static_cast<int>(kMeritScaleTop));
    slider_->setSingleStep(0x8000);
    slider_->setPageStep(0x100000);
    slider_->setValue(static_cast<int>(std::min(current, kMeritScaleTop)));
    layout->addWidget(slider_);
    edit_ = new QLineEdit(Qs(Format("0x%08x", current)), this);
    edit_->setObjectName("meritEdit");
    layout->addWidget(edit_);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    ok_ = buttons->button(QDialogButtonBox::Ok);
    ok_->setObjectName("meritOk");
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);

    connect(slider_, &QSlider::valueChanged, this, [this](int value) {
        if (ParseHexStrict(Std(edit_->text())) != static_cast<uint32_t>(value))
            edit_->setText(Qs(Format("0x%08x", static_cast<uint32_t>(value))));
    });
    connect(edit_, &QLineEdit::textChanged, this, [this](const QString& text) {
        const auto value = ParseHexStrict(Std(text));
        ok_->setEnabled(value.has_value());
        if (value && *value <= kMeritScaleTop && slider_->value() != static_cast<int>(*value)) {
            const QSignalBlocker block(slider_);
            slider_->setValue(static_cast<int>(*value));
        }
    });
    resize(460, sizeHint().height());
    PlaceMarker();
}

std::optional<uint32_t> CMeritSetDlg::Chosen() const { return ParseHexStrict(Std(edit_->text())); }

void CMeritSetDlg::resizeEvent(QResizeEvent* event) {
    QDialog::resizeEvent(event);
    PlaceMarker();
}

void CMeritSetDlg::PlaceMarker() {
    const auto place = MeritScalePlace(current_);
    marker_->setVisible(place.has_value());
    beyond_->setVisible(!place);
    if (!place) return;
    const int room = std::max(scale_->width() - marker_->sizeHint().width(), 0);
    marker_->move(static_cast<int>(*place * room), 0);
}

}  // namespace torvo::gui
