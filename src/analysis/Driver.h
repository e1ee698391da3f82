// The analysis driver: the road of one file from opening to the report.
//
// It opens the file through CFileCache, identifies it, runs the analysers the
// type calls for and writes everything into the display model.
#pragma once

#include <cstdint>
#include <string>

#include "analysis/Display.h"
#include "analysis/Identify.h"
#include "analysis/Records.h"

namespace torvo {

// A failure the user must be told about, shown as "caption: text".
struct UserMessage {
    std::string caption;
    std::string text;
};

class CAnalysisDriver {
public:
    explicit CAnalysisDriver(Display& display) : display_(display) {}

    // Recognises files without a signature; not owned, may be null.
    void SetContentAnalyser(ContentAnalyser* analyser) { content_ = analyser; }

    // Analyses one file into the display. False when it cannot be opened;
    // the message to show is then in LastMessage().
    bool AnalyseFile(const std::string& path);

    const ContainerInfo& Container() const { return records_.container; }
    const AnalysisRecords& Records() const { return records_; }
    const FileIdentity& Identity() const { return identity_; }
    const UserMessage& LastMessage() const { return message_; }

private:
    void ReportFileType();

    Display& display_;
    ContentAnalyser* content_ = nullptr;
    AnalysisRecords records_;
    FileIdentity identity_;
    UserMessage message_;
};

// The part of a path after its last '/'.
std::string FileNameOf(const std::string& path);

}  // namespace torvo
