#include "analysis/Display.h"

#include <algorithm>

#include "base/Translate.h"

namespace torvo {

size_t NotesList::Add(std::string text, int colour) {
    lines_.push_back({std::move(text), colour});
    if (changed_) changed_();
    return lines_.size() - 1;
}

size_t NotesList::AddTag(std::string text, size_t ownFrom) {
    lines_.push_back({std::move(text), kColourPlain, ownFrom});
    if (changed_) changed_();
    return lines_.size() - 1;
}

std::string LocaliseNote(const NoteLine& line) {
    if (line.ownFrom >= line.text.size()) return Localise(line.text);
    return Localise(std::string_view(line.text).substr(0, line.ownFrom)) + line.text.substr(line.ownFrom);
}

void NotesList::Replace(size_t index, std::string text, int colour) {
    if (index >= lines_.size()) return;
    lines_[index] = {std::move(text), colour};
    if (changed_) changed_();
}

void NotesList::Clear() {
    lines_.clear();
    if (changed_) changed_();
}

const PanelField* Panel::Find(std::string_view caption) const {
    for (const auto& [name, field] : fields_)
        if (name == caption) return &field;
    return nullptr;
}

void Panel::Remove(std::string_view caption) {
    const auto hit = std::find_if(fields_.begin(), fields_.end(), [&](const auto& f) { return f.first == caption; });
    if (hit == fields_.end()) return;
    fields_.erase(hit);
    if (changed_) changed_();
}

void Panel::Set(std::string_view caption, std::string text, int background) {
    PanelField value{std::move(text), background};
    for (auto& [name, field] : fields_) {
        if (name == caption) {
            field = std::move(value);
            if (changed_) changed_();
            return;
        }
    }
    fields_.emplace_back(std::string(caption), std::move(value));
    if (changed_) changed_();
}

std::string_view Panel::Get(std::string_view caption) const {
    const PanelField* field = Find(caption);
    return field ? std::string_view(field->text) : std::string_view();
}

void Panel::Clear() {
    fields_.clear();
    if (changed_) changed_();
}

Display::Display()
    : container_([this] { Changed(); }),
      userData_([this] { Changed(); }),
      render_([this] { Changed(); }),
      filePanel_([this] { Changed(); }),
      videoPanel_([this] { Changed(); }) {}

Panel& Display::AudioPanel(size_t stream) {
    while (audioPanels_.size() <= stream) audioPanels_.emplace_back([this] { Changed(); });
    return audioPanels_[stream];
}

void Display::SetLamp(std::string_view caption, LampState state) {
    lamps_[std::string(caption)] = state;
    Changed();
}

LampState Display::Lamp(std::string_view caption) const {
    auto it = lamps_.find(caption);
    return it == lamps_.end() ? LampState::kHidden : it->second;
}

std::vector<std::string> Display::LitLamps() const {
    std::vector<std::string> lit;
    for (const auto& [caption, state] : lamps_)
        if (state == LampState::kLit) lit.push_back(caption);
    return lit;
}

void Display::SetBar(std::string_view caption, BarGraph bar) {
    bars_[std::string(caption)] = std::move(bar);
    Changed();
}

void Display::SetLastPictures(std::vector<uint32_t> words) {
    lastPictures_ = std::move(words);
    Changed();
}

void Display::SetQueueCounter(std::string text) {
    queueCounter_ = std::move(text);
    Changed();
}

void Display::SetAudioButtons(int enabled, int shown) {
    audioButtons_ = enabled;
    shownAudio_ = shown;
    Changed();
}

void Display::SetTitle(std::string title) {
    title_ = std::move(title);
    Changed();
}

void Display::SetStatusText(std::string text) {
    if (text == statusText_) return;
    statusText_ = std::move(text);
    Changed();
}

void Display::SetConversionSource(const ResizeRecord& record) {
    conversionSource_ = record;
    Changed();
}

void Display::Reset() {
    container_.Clear();
    userData_.Clear();
    render_.Clear();
    filePanel_.Clear();
    videoPanel_.Clear();
    audioPanels_.clear();
    bars_.clear();
    lastPictures_.clear();
    conversionSource_.reset();
    audioButtons_ = shownAudio_ = 0;
    for (auto& lamp : lamps_) lamp.second = LampState::kDark;
    fields_.ClearFields();
    Changed();
}

}  // namespace torvo
