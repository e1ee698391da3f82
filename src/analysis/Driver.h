// The analysis driver: the road of one file from opening to the report.
//
// It opens the file through CFileCache, identifies it, runs the analysers the
// type calls for and writes everything into the display model.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "analysis/AudioDescription.h"
#include "base/FileCache.h"
#include "analysis/Display.h"
#include "analysis/FastScan.h"
#include "analysis/Identify.h"
#include "records/Records.h"
#include "analysis/MpegContent.h"
#include "analysis/VideoSummary.h"
#include "analysis/ScanStatistics.h"
#include "inventory/CodecEntry.h"

namespace torvo {

// A failure the user must be told about, shown as "caption: text".
struct UserMessage {
    std::string caption;
    std::string text;
};

// The message for a file (a media file or a list of names) that cannot be opened.
UserMessage CannotOpenMessage(const std::string& path, const std::string& errorText);

struct DriverOptions {
    // Codec interaction (codec status and the render test) is switched on.
    bool useCodecInfo = true;
    // Completes audio format tags with the codec database's names.
    AudioFormatNamer audioFormatNamer;
    // Describes an MP4 brand ("<не знаю>" when unlisted).
    std::function<std::string(uint32_t brand)> brandDescriber;
    // Names video codecs by FourCC and user data (the codec database).
    VideoCodecLookup videoCodecLookup;
    // Scans AVI and MPEG files whole after their headers (the ScanEntireFile preference).
    bool scanEntireFile = false;
    // Waits for the codec inventory before the codec steps; null when there
    // is none. It may switch codec interaction off (the wait timed out).
    std::function<CodecInventory*(bool& useCodecInfo)> waitForInventory;
};

class CAnalysisDriver {
public:
    explicit CAnalysisDriver(Display& display) : display_(display) {}

    void SetOptions(DriverOptions options) { options_ = std::move(options); }
    // Recognises files without a signature (the MPEG/DV/elementary audio
    // analysis unless replaced); not owned, null switches it off.
    void SetContentAnalyser(ContentAnalyser* analyser) { content_ = analyser; }

    // Analyses one file into the display. False when it cannot be opened;
    // the message to show is then in LastMessage().
    bool AnalyseFile(const std::string& path);

    // Shows audio list entry n (0-3) in its panel and stores its fields.
    void AnalyseAudioStream(int n);

    const ContainerInfo& Container() const { return records_.container; }
    const AnalysisRecords& Records() const { return records_; }
    const FileIdentity& Identity() const { return identity_; }
    const UserMessage& LastMessage() const { return message_; }
    // Whether the checks found the file broken (stops a queue run until the first error).
    bool BrokenFile() const { return brokenFile_; }

    // The full scan of the file just analysed, while it exists.
    const CFastScan* Scan() const { return scan_.get(); }
    // The status timer's duty (every 50 ms): interim statistics every fifth
    // tick while the scan runs; the final statistics once it is done, when
    // kDone is returned (the file's export is then due).
    enum class ScanTick { kNone, kRunning, kDone };
    ScanTick OnStatusTick();
    // Stops and deletes a running scan.
    void StopScan();
    // Stops a running scan at the user's word: the scan stays with what it
    // read, its statistics shown so far and a note that says it was stopped.
    void StopScanKeepingResults();
    // Sleeps until the running scan ends (woken by its end) or `limit` has
    // passed; true when no scan is running any more.
    bool WaitForScanEnd(std::chrono::milliseconds limit);

private:
    void Analyse(CFileCache& reader);
    ReadStatus Dispatch(CFileCache& reader);
    // Keeps what a reader found wrong for the notes and the typed report.
    void TakeReadStatus(ReadStatus status);
    ReadStatus AnalyseMpeg(CFileCache& reader);
    ReadStatus AnalyseMovie(CFileCache& reader);
    ReadStatus AnalyseFlv(CFileCache& reader);
    void TestElementaryAudio(StreamInfo& stream, bool withAac);
    void CountContainerStreams();
    // An elementary audio file's playing time and its trailing ID3v1 tag.
    void MeasureElementaryAudio(CFileCache& reader);
    // A raw DV file's frame timing and the sound its AAUX packs describe.
    void AddRawDvSound(CFileCache& reader);
    void AddInterleavedDvSound();
    ReadStatus DispatchRiff(CFileCache& reader);
    void ReportFileType();
    void ReportAudioPanel();
    void WaitForInventory();

    Display& display_;
    DriverOptions options_;
    CMpegContentAnalyser mpegContent_;
    ContentAnalyser* content_ = &mpegContent_;
    AnalysisRecords records_;
    // Lent to each file's reader: the header pages stay mapped from file to file.
    CFileCache::SpareHeader spareHeader_;
    FileIdentity identity_;
    UserMessage message_;
    bool brokenFile_ = false;
    // whole: the file's bytes when the header read took in all of it (size
    // bytes, in the spare header or in `mapped`): the scan then reads them from there.
    bool StartScan(const std::string& path, const uint8_t* whole, uint64_t size,
                   std::unique_ptr<MappedRegion> mapped = nullptr);
    std::unique_ptr<CFastScan> scan_;
    ScanDisplayState scanDisplay_;
    int scanTicks_ = 0;
    CodecInventory* inventory_ = nullptr;
};

// The part of a path after its last '/'.
std::string FileNameOf(const std::string& path);

}  // namespace torvo
