// CTorvoDlg: the program's main window. It holds the file queue, runs the
// analysis driver on the queue's names, renders the display model in fixed
// panels and offers every command through its menus, buttons and keys.
#pragma once

#include <QMainWindow>
#include <QTimer>
class QDialog;
#include <array>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "GuiWidgets.h"
#include "analysis/ConversionPanel.h"
#include "analysis/Display.h"
#include "analysis/Driver.h"
#include "analysis/FileQueue.h"
#include "analysis/FileReport.h"
#include "analysis/MessageBox.h"
#include "codecdb/ReadDatabase.h"
#include "export/ExportWriter.h"
#include "inventory/InventoryService.h"
#include "run/RunSession.h"
#include "settings/DesktopIntegration.h"
#include "settings/Prefs.h"

class QAction;
class QProgressBar;
class QStackedWidget;
class QUrl;
class QGroupBox;
class QLabel;
class QPushButton;
class QFormLayout;
class QGridLayout;
class QVBoxLayout;

namespace torvo::gui {

class CGopStruct;
struct CodecListContext;
class CRenderControls;
class CTestMonitor;

// Loads the codec database; null after showing why it failed.
using DatabaseLoader = std::function<std::unique_ptr<CReadDatabase>()>;

struct WindowContext {
    CPrefs* prefs = nullptr;
    IMessageBox* messages = nullptr;
    DatabaseLoader loadDatabase;
    UserDirs dirs;
    std::string programPath;
};

// The window renders what its run session reports: each file's start, its
// opening or failure, the scan's progress and the file's end.
class CTorvoDlg : public QMainWindow, private IRunEvents {
    Q_OBJECT
public:
    CTorvoDlg(WindowContext context, std::unique_ptr<CReadDatabase> database, QWidget* parent = nullptr);
    ~CTorvoDlg() override;

    // The command line's names, list files and -x (unattended: every name
    // with export on, then the window closes).
    void StartFromCommandLine(const CommandLine& commandLine);
    // Names from the open dialog or a drop: the queue is refilled; one name
    // is analysed at once, several wait for a command. Names beyond the
    // queue's room, with `leftOut` more that never reached the list (at least
    // that many when `leftOutAtLeast`), are counted in a message.
    void OpenNames(std::vector<std::string> names, size_t leftOut = 0, bool leftOutAtLeast = false);

    // The commands.
    void OpenDialog();
    void CloseFile();
    void NextFile();
    void PreviousFile();
    void FirstFile();
    void RunUntilError();
    void RunAll();
    void StopProcessing();
    void Play();
    void ReloadDatabase();
    void Settings();
    void ExportSetup();
    void AudioFormats();
    std::shared_ptr<CodecListContext> CodecLists();
    void VideoFormats();
    void About();
    void ShowAudioStream(int n);
    void ChooseTarget(int target);
    void ChooseFraming(bool anamorphic);
    void StepSize(int delta);
    void OpenLink(const QString& link);

    // What the window shows and holds, for the tests.
    const Display& Model() const { return display_; }
    // Background work (the full scan, the render test) reports here.
    Display& Model() { return display_; }
    const FileQueue& Queue() const { return queue_; }
    // A full scan of the shown file is still running (its export waits).
    bool Scanning() const { return session_.Scanning(); }
    // The shown file's report, as copy and save write it; none while no file
    // is shown or the file is still in hand (its scan runs).
    std::optional<FileReport> ShownReport() const;
    const ExportSettings& Export() const { return export_; }
    const CConversionPanel& Conversion() const { return conversion_; }
    CRenderControls& RenderCommands() { return *renderControls_; }
    CTestMonitor& Monitor() { return *monitor_; }
    QAction* Action(const QString& objectName) const;
    // Analyses the queue's current name (the road of one file); the session
    // follows it to its end (its full scan, the render test, its export).
    void AnalyseCurrentFile(bool withExport = true);
    // The VGS window of the scanned file (modal).
    void ShowFrameLayout();
    // Brings every widget up to date with the display model.
    void Render();

public slots:
    // Every "torvo://" link of the program opens its explanation here, not in a browser.
    void OpenLinkUrl(const QUrl& url);

signals:
    void fileAnalysed();
    // The VGS window is about to run (tests drive it from here).
    void frameLayoutShown(QDialog* dialog);

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void BuildMenus();
    QWidget* BuildFilePanel();
    QWidget* BuildVideoPanel();
    QWidget* BuildConversionPanel();
    QWidget* BuildAudioPanel();
    QWidget* BuildRenderPanel();
    CFieldBox* AddField(std::map<std::string, CFieldBox*>& boxes, std::string_view caption, const char* objectName);
    void UseDatabase(std::unique_ptr<CReadDatabase> database);
    void QueueTick();
    void RefreshTick();
    void StartQueue(QueueMode mode);
    void ShowQueued();
    // Says how many names did not fit into the queue.
    void TellLeftOut(size_t leftOut, bool atLeast);
    // What a folder's expansion passed over (skipped files, unreadable folders), in a message.
    void TellExpansion(const std::string& notes);
    void RenderPanel(const Panel& panel, std::map<std::string, CFieldBox*>& boxes);
    void RenderExtraVideoFields();
    void RenderScanProgress();
    void RestorePlacement();
    void SavePlacement();
    IMessageBox& Messages();

    // The session's events.
    void FileStarted(size_t index, size_t count, const std::string& path) override;
    void FileOpened(const AnalysedFile& file) override;
    void FileNotOpened(size_t index, const std::string& path, const UserMessage& message) override;
    void ScanProgress(size_t index, size_t count, const std::string& path, const CFastScan& scan) override;
    std::string ReportReady(const AnalysedFile& file) override;
    void FileFinished(size_t index, const std::string& path) override;

    WindowContext context_;
    CPrefs& prefs_;
    std::unique_ptr<CReadDatabase> database_;
    Display display_;
    // The queue, its driver and the run's rules; the window shows what it does.
    CRunSession session_;
    CAnalysisDriver& driver_;
    FileQueue& queue_;
    CConversionPanel conversion_;
    ExportSettings export_;
    bool fileShown_ = false;
    QStackedWidget* statusSlot_ = nullptr;  // the video status, or the scan's progress bar
    QProgressBar* scanProgress_ = nullptr;
    bool dirty_ = true;
    std::unique_ptr<IMessageBox> unattendedMessages_;

    QTimer refreshTimer_;
    QTimer queueTimer_;

    std::map<std::string, CFieldBox*> fileBoxes_, videoBoxes_, audioBoxes_, extraVideoBoxes_;
    std::map<std::string, CLamp*> lamps_;
    CNotesView *containerList_ = nullptr, *userDataList_ = nullptr, *renderList_ = nullptr;
    // The frame-type bar, shown empty until a file has one; further bars beneath it.
    CBarGraph* frameBar_ = nullptr;
    CGopStruct* gopStrip_ = nullptr;
    std::map<std::string, CBarGraph*> extraBars_;
    QVBoxLayout* barsLayout_ = nullptr;
    QLabel* queueCounter_ = nullptr;
    QLabel* statusLine_ = nullptr;
    QPushButton* nextButton_ = nullptr;
    QPushButton* vgsButton_ = nullptr;
    QFormLayout* extraVideoLayout_ = nullptr;
    std::array<QPushButton*, 4> audioButtons_{};
    std::array<QPushButton*, 5> targetButtons_{};
    std::array<QPushButton*, 2> framingButtons_{};
    std::array<QPushButton*, 2> stepButtons_{};
    std::vector<QPushButton*> renderButtons_;
    // The container notes, or the test monitor in their place.
    QGroupBox* containerGroup_ = nullptr;
    QStackedWidget* containerStack_ = nullptr;
    CTestMonitor* monitor_ = nullptr;
    CRenderControls* renderControls_ = nullptr;
    // The codec inventory, gathered on a worker thread (preloaded or when a
    // file's codec steps or the render test need it).
    std::unique_ptr<CInventoryService> inventory_;
    // Kept for the chain elements' property pages (it caches which have one).
    std::shared_ptr<CodecListContext> propertyPages_;
};

}  // namespace torvo::gui
