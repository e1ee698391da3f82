// The display model: everything the analysis of one file shows, held in the
// core so that the desktop window and the command-line report render the same
// lines. Views only read it; the driver and the analysers only write it.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/ReportFields.h"
#include "resize/ResizeCalculator.h"
#include "base/Translate.h"

namespace torvo {

// The sixteen background colours of notes lines, as 0x00BBGGRR values.
inline constexpr std::array<uint32_t, 16> kNotesPalette = {
    0x000000, 0xFFFFFF, 0xC0FFFF, 0xFFFFC0, 0xE0FFE0, 0xE1E1FF, 0xE7F8F9, 0xC0C0FF,
    0xFFC0C0, 0x606060, 0x400040, 0x400040, 0x404040, 0xA19D9D, 0xCC0000, 0x808080,
};

// Palette indexes the analysis uses by meaning.
enum NoteColour : int {
    kColourPlain = 0,
    kColourWarning = 2,
    kColourGood = 4,
    kColourDamage = 5,
    kColourMpegSummary = 6,
};

struct NoteLine {
    std::string text;
    int colour = kColourPlain;
    // From here on the line is the file's own words (a tag's text): shown as
    // it is in every language. npos: the whole line is the program's.
    size_t ownFrom = std::string::npos;
};

// A notes line in the current language, the file's own words kept as they are.
std::string LocaliseNote(const NoteLine& line);

class NotesList {
public:
    explicit NotesList(std::function<void()> changed = {}) : changed_(std::move(changed)) {}
    size_t Add(std::string text, int colour = kColourPlain);
    // A tag: the program's label, then the file's own text from ownFrom on.
    size_t AddTag(std::string text, size_t ownFrom);
    // Replaces a line in place (interim results); ignored for an unknown index.
    void Replace(size_t index, std::string text, int colour = kColourPlain);
    void Clear();
    const std::vector<NoteLine>& Lines() const { return lines_; }

private:
    std::vector<NoteLine> lines_;
    std::function<void()> changed_;
};

struct PanelField {
    std::string text;
    int background = -1;  // a 0x00BBGGRR colour, or -1 for the default
};

// One panel of captioned read-only fields (the file panel, the video panel,
// the panel of one audio stream).
class Panel {
public:
    explicit Panel(std::function<void()> changed = {}) : changed_(std::move(changed)) {}
    void Set(std::string_view caption, std::string text, int background = -1);
    std::string_view Get(std::string_view caption) const;
    // The fields in the order they were first set (the panel's own order).
    const std::vector<std::pair<std::string, PanelField>>& Fields() const { return fields_; }
    const PanelField* Find(std::string_view caption) const;
    // Takes a field away (a running scan's progress text once it is over).
    void Remove(std::string_view caption);
    bool Empty() const { return fields_.empty(); }
    void Clear();

private:
    std::vector<std::pair<std::string, PanelField>> fields_;
    std::function<void()> changed_;
};

enum class LampState { kHidden, kDark, kLit };

// A horizontal bar of coloured segments over a scale (the VOP type bar).
struct BarSegment {
    int from = 0, to = 0;  // [from, to) on the scale
    uint32_t colour = 0;   // 0x00BBGGRR
};
struct BarGraph {
    int scale = 100;
    std::vector<BarSegment> segments;
};

inline constexpr std::string_view kProgramTitle = "Torvo v2.70a";

class Display {
public:
    // Panel captions used by more than one writer.
    static constexpr std::string_view kPathCaption = N_("Путь");
    static constexpr std::string_view kSizeCaption = N_("Размер");

    Display();
    Display(const Display&) = delete;
    Display& operator=(const Display&) = delete;

    // Called after every change, so that a shown view can follow interim results.
    void SetObserver(std::function<void()> observer) { observer_ = std::move(observer); }

    NotesList& Container() { return container_; }
    NotesList& UserData() { return userData_; }
    NotesList& Render() { return render_; }
    const NotesList& Container() const { return container_; }
    const NotesList& UserData() const { return userData_; }
    const NotesList& Render() const { return render_; }

    Panel& FilePanel() { return filePanel_; }
    Panel& VideoPanel() { return videoPanel_; }
    const Panel& FilePanel() const { return filePanel_; }
    const Panel& VideoPanel() const { return videoPanel_; }
    // One panel per offered audio stream, in stream order.
    Panel& AudioPanel(size_t stream);
    const std::vector<Panel>& AudioPanels() const { return audioPanels_; }

    void SetLamp(std::string_view caption, LampState state);
    LampState Lamp(std::string_view caption) const;
    std::vector<std::string> LitLamps() const;
    // Every lamp the analysis has set, with its state.
    const std::map<std::string, LampState, std::less<>>& Lamps() const { return lamps_; }

    void SetBar(std::string_view caption, BarGraph bar);
    const std::map<std::string, BarGraph, std::less<>>& Bars() const { return bars_; }

    // The frame-list words of the last (up to 64) pictures a full scan saw, oldest first.
    void SetLastPictures(std::vector<uint32_t> words);
    const std::vector<uint32_t>& LastPictures() const { return lastPictures_; }

    void SetTitle(std::string title);
    const std::string& Title() const { return title_; }

    // "%3d/%-3d" while a queue of several files runs; empty when hidden.
    void SetQueueCounter(std::string text);
    const std::string& QueueCounter() const { return queueCounter_; }

    // How many audio stream buttons are enabled, and which stream is shown.
    void SetAudioButtons(int enabled, int shown);
    int AudioButtonsEnabled() const { return audioButtons_; }
    int ShownAudio() const { return shownAudio_; }

    // The status line: what background work reports (empty when idle).
    void SetStatusText(std::string text);
    const std::string& StatusText() const { return statusText_; }

    // The classified source of the conversion panel (target, framing and
    // steps as the video summary left them); none when the source is not a
    // standard PAL or NTSC size.
    void SetConversionSource(const ResizeRecord& record);
    const std::optional<ResizeRecord>& ConversionSource() const { return conversionSource_; }

    CExport& Fields() { return fields_; }
    const CExport& Fields() const { return fields_; }

    // Empties everything a file leaves behind, before the next one.
    void Reset();

private:
    void Changed() const {
        if (observer_) observer_();
    }

    std::function<void()> observer_;
    NotesList container_, userData_, render_;
    Panel filePanel_, videoPanel_;
    std::vector<Panel> audioPanels_;
    std::map<std::string, LampState, std::less<>> lamps_;
    std::map<std::string, BarGraph, std::less<>> bars_;
    std::vector<uint32_t> lastPictures_;
    std::string title_;
    std::string queueCounter_;
    std::string statusText_;
    std::optional<ResizeRecord> conversionSource_;
    int audioButtons_ = 0, shownAudio_ = 0;
    CExport fields_;
};

}  // namespace torvo
