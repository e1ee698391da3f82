#include "analysis/DriverScan.h"

#include "analysis/Driver.h"
#include "analysis/FrameStatistics.h"
#include "analysis/ScanStatistics.h"
#include "base/SizeText.h"
#include "base/Translate.h"

namespace torvo {

std::optional<FastScanParams> ScanParamsFor(const AnalysisRecords& records, const std::string& path) {
    const ContainerInfo& c = records.container;
    const VideoInfo& v = records.video;
    const bool mpeg = c.typeId == kTypeMpeg && c.layout != StreamLayout::kTransportStream;
    const bool avi = c.typeId == kTypeAvi;
    // HEVC has no MPEG picture start codes to count; its slice units would pass for some.
    if (c.topLevelRiffCount > 1 || !(mpeg || avi) || c.videoCount < 1 || v.hevc) return std::nullopt;
    FastScanParams p;
    p.path = path;
    p.elementaryVideo = c.layout == StreamLayout::kVideoElementary;
    p.avi = avi;
    p.mpegVideo = mpeg || (avi && v.mpeg4Vol);
    p.mpeg4 = v.mpeg4Vol;
    p.mpeg2 = v.mpeg2;
    p.interlaced = v.mpeg2Interlaced;
    p.timeIncrementBits = v.mpeg4Summary.timeIncrementBits;
    return p;
}

namespace {

ScanFigures CommonFigures(const CFastScan& scan, const ScanProgress& progress) {
    ScanFigures f;
    f.avi = scan.Params().avi;
    f.recordedPictures = scan.Params().mpegVideo;
    f.elapsedMs = progress.elapsedMs;
    f.speedKiBps = progress.speedKiBps;
    f.pictures = progress.pictures;
    f.byType = progress.byType;
    f.lastPictures = progress.lastPictures;
    f.videoChunks = progress.videoChunks;
    f.videoBytes = progress.videoBytes;
    f.audioBytes = progress.audioBytes;
    f.largestFrame = progress.largestFrame;
    f.longestSinceI = progress.longestSinceI;
    return f;
}

}  // namespace

ScanFigures InterimFigures(const CFastScan& scan) {
    ScanFigures f = CommonFigures(scan, scan.Progress());
    f.failed = !scan.Running() && scan.Failed();
    return f;
}

ScanFigures FinalFigures(const CFastScan& scan) {
    ScanFigures f = CommonFigures(scan, scan.Progress());
    f.final = true;
    f.failed = scan.Failed();
    f.fileSize = scan.FileSize();
    f.gop = scan.Gop();
    return f;
}

ScanSummary SummariseScan(const CFastScan& scan) {
    ScanSummary s;
    const ScanFigures f = FinalFigures(scan);
    s.failed = f.failed;
    s.pictures = f.FrameCount();
    s.i = f.byType[kPictureI];
    s.p = f.byType[kPictureP];
    s.b = f.byType[kPictureB];
    // Whatever is not I, P or B is "other", so that the counts add up to the pictures.
    const uint64_t typed = uint64_t(s.i) + s.p + s.b;
    s.other = s.pictures > typed ? s.pictures - typed : 0;
    s.gopLength = f.gop.gopLength;
    s.bSpacing = f.gop.bSpacing;
    s.gopRegularity = f.gop.regularity;
    s.longestBRun = scan.Recorder().Video().longestBRun;
    s.longestIDistance = f.longestSinceI;
    s.largestFrame = f.largestFrame;
    const CPictureRecorder& r = scan.Recorder();
    s.frameTypes.reserve(r.PictureCount());
    for (size_t k = 0; k < r.PictureCount(); ++k) s.frameTypes += PictureTypeLetter(r.Frames()[k]);
    s.videoBytes = f.videoBytes;
    s.audioBytes = f.audioBytes;
    s.readKiBps = scan.SpeedKiBps();
    if (s.readKiBps == 0 && scan.ElapsedMs() > 0)
        s.readKiBps = static_cast<int64_t>(scan.BytesRead() * 1000 / 1024 / uint64_t(scan.ElapsedMs()));
    return s;
}

bool ScanHasPictures(const CFastScan* scan) {
    return scan && !scan->Running() && !scan->Failed() && !scan->Stopped() && scan->Recorder().PictureCount() > 0;
}

CFrameLayout FrameLayoutOf(const CFastScan& scan, const VideoInfo& video) {
    const PictureFigures figures = CollectPictureFigures(video);
    const double fps = figures.usPerFrame > 0 ? 1000000.0 / figures.usPerFrame : 0;
    const CPictureRecorder& recorder = scan.Recorder();
    return CFrameLayout(recorder.Frames(), recorder.PictureCount(), scan.Gop().gopLength, fps, scan.Params().interlaced);
}

// --- the driver ---

void CAnalysisDriver::StopScan() {
    scan_.reset();  // asks the thread to stop and waits for it
    scanTicks_ = 0;
    scanDisplay_ = {};
}

void CAnalysisDriver::StopScanKeepingResults() {
    if (!scan_ || !scan_->Running()) return;
    scan_->RequestStop();
    scan_->Join();
    ScanFigures figures = InterimFigures(*scan_);
    figures.fileSize = records_.container.fileSize;
    FrameScanStatistics(display_, records_, figures, scanDisplay_);
    display_.VideoPanel().Remove(std::string(kScanStatusCaption));
    display_.Container().Add(N_("Просмотр файла прерван: прочитано ") + LargestUnitSizeText(scan_->BytesRead()) + N_(" из ") +
                                 LargestUnitSizeText(records_.container.fileSize),
                             kColourWarning);
}

bool CAnalysisDriver::StartScan(const std::string& path, const uint8_t* whole, uint64_t size,
                                std::unique_ptr<MappedRegion> mapped) {
    if (!options_.scanEntireFile) return false;
    std::optional<FastScanParams> params = ScanParamsFor(records_, path);
    if (!params) return false;
    std::unique_ptr<ScanSource> source;  // null: the file itself
    if (mapped && whole == mapped->Data() && size <= mapped->Size()) {
        // Scanned where it lies: the mapping goes with the scan, which pads
        // its last page in the process's private copy of it.
        std::shared_ptr<MappedRegion> region(std::move(mapped));
        source = std::make_unique<CHeldFileSource>(region->PrivateBytes(), static_cast<size_t>(size),
                                                   region->Capacity(), [region](uint8_t*, size_t) {});
    } else if (whole && whole == spareHeader_.bytes.get() && size <= spareHeader_.capacity) {
        // The block goes to the scan and comes back to the spare when the scan is deleted.
        const size_t capacity = spareHeader_.capacity;
        spareHeader_.capacity = 0;
        source = std::make_unique<CHeldFileSource>(
            spareHeader_.bytes.release(), static_cast<size_t>(size), capacity, [this](uint8_t* bytes, size_t held) {
                CFileCache::OwnedBytes block(bytes);
                if (held > spareHeader_.capacity) {
                    spareHeader_.bytes = std::move(block);
                    spareHeader_.capacity = held;
                }
            });
    }
    scan_ = std::make_unique<CFastScan>(std::move(source));
    return scan_->Start(std::move(*params));
}

CAnalysisDriver::ScanTick CAnalysisDriver::OnStatusTick() {
    if (!scan_) return ScanTick::kNone;
    if (scan_->Done() || (!scan_->Running() && scan_->Finished())) {
        scan_->Join();
        if (scan_->Done()) {
            ScanFigures figures = FinalFigures(*scan_);
            figures.fileSize = records_.container.fileSize;
            FrameScanStatistics(display_, records_, figures, scanDisplay_);
            scan_->ClearDone();
        }
        scan_->ClearFinished();
        return ScanTick::kDone;
    }
    if (++scanTicks_ % 5 == 0) {
        ScanFigures figures = InterimFigures(*scan_);
        figures.fileSize = records_.container.fileSize;
        FrameScanStatistics(display_, records_, figures, scanDisplay_);
    }
    return ScanTick::kRunning;
}

}  // namespace torvo
