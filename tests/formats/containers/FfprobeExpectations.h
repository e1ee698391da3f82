// What ffprobe said about the transport stream and Matroska samples
// (tests/data/tsmkv/expected.txt, written by that folder's make.sh), and the
// report a driver with the shipped codec database gives for a sample.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "TestUtil.h"
#include "analysis/Driver.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"

namespace torvo::test {

using ProbeEntries = std::map<std::string, std::string>;

struct ProbedFile {
    std::vector<ProbeEntries> streams;  // by ffprobe's stream index
    ProbeEntries format;
    const ProbeEntries* Stream(const std::string& type, size_t nth) const {
        for (const ProbeEntries& s : streams)
            if (s.count("codec_type") && s.at("codec_type") == type && nth-- == 0) return &s;
        return nullptr;
    }
};

// expected.txt: "file<TAB>key=value|key=value" lines; a later line for the
// same stream index (ffprobe lists a program's streams again) replaces it.
inline std::map<std::string, ProbedFile> ReadProbeExpectations(const std::string& folder = "tsmkv") {
    std::map<std::string, ProbedFile> files;
    std::ifstream in(SamplePath(folder + "/expected.txt"));
    for (std::string line; std::getline(in, line);) {
        const size_t tab = line.find('\t');
        if (tab == std::string::npos) continue;
        ProbeEntries entries;
        for (size_t pos = tab + 1; pos <= line.size();) {
            size_t bar = line.find('|', pos);
            if (bar == std::string::npos) bar = line.size();
            const std::string item = line.substr(pos, bar - pos);
            if (const size_t eq = item.find('='); eq != std::string::npos)
                entries[item.substr(0, eq)] = item.substr(eq + 1);
            pos = bar + 1;
        }
        ProbedFile& file = files[line.substr(0, tab)];
        if (entries.count("index")) {
            const size_t index = std::stoul(entries["index"]);
            if (file.streams.size() <= index) file.streams.resize(index + 1);
            file.streams[index] = entries;
        } else {
            file.format = entries;
        }
    }
    return files;
}

// "25/1" as frames per second.
inline double RateOf(const std::string& fraction) {
    const size_t slash = fraction.find('/');
    const double d = slash == std::string::npos ? 1 : std::atof(fraction.c_str() + slash + 1);
    return d > 0 ? std::atof(fraction.c_str()) / d : 0;
}

// "m:ss.mmm" as milliseconds.
inline int64_t DurationMsOf(const std::string& text) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return -1;
    return std::atoll(text.c_str()) * 60000 + static_cast<int64_t>(std::atof(text.c_str() + colon + 1) * 1000 + 0.5);
}

// A driver that names codecs through the shipped database.
class DatabaseDriver {
public:
    static const CReadDatabase& Database() {
        static CReadDatabase* database = [] {
            auto* db = new CReadDatabase;
            db->Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {});
            return db;
        }();
        return *database;
    }
    bool Analyse(const std::string& sample) {
        DriverOptions options;
        UseDatabaseNames(options, Database());
        driver.SetOptions(options);
        return driver.AnalyseFile(SamplePath(sample));
    }
    std::string Field(const char* name, int stream = 0) const { return std::string(display.Fields().Field(name, stream)); }
    std::vector<std::string> Notes() const {
        std::vector<std::string> out;
        for (const NoteLine& l : display.Container().Lines()) out.push_back(l.text);
        return out;
    }
    std::vector<std::string> UserData() const {
        std::vector<std::string> out;
        for (const NoteLine& l : display.UserData().Lines()) out.push_back(l.text);
        return out;
    }

    Display display;
    CAnalysisDriver driver{display};
};

// The report of a sample against ffprobe: the video codec (as the report
// names its type), size, frame rate and duration, and per sound stream the
// sample rate and channels.
inline void ExpectAgreesWithFfprobe(const std::string& file, const std::string& videoType) {
    SCOPED_TRACE(file);
    static const std::map<std::string, ProbedFile> probed = ReadProbeExpectations();
    ASSERT_TRUE(probed.count(file)) << "no ffprobe lines";
    const ProbedFile& expected = probed.at(file);
    DatabaseDriver d;
    ASSERT_TRUE(d.Analyse("tsmkv/" + file));
    if (const ProbeEntries* v = expected.Stream("video", 0)) {
        EXPECT_EQ(d.Field("VIDEO_CODEC_TYPE"), videoType);
        EXPECT_EQ(d.Field("VIDEO_SIZE_X"), v->at("width"));
        EXPECT_EQ(d.Field("VIDEO_SIZE_Y"), v->at("height"));
        EXPECT_NEAR(std::atof(d.Field("VIDEO_FRAMES_PER_SEC").c_str()), RateOf(v->at("r_frame_rate")), 0.001);
        const double seconds = std::atof(expected.format.at("duration").c_str());
        EXPECT_NEAR(static_cast<double>(DurationMsOf(d.Field("VIDEO_DURATION"))), seconds * 1000, 30);
    }
    for (int n = 0; n < 3; ++n) {  // the fourth stream has no report fields
        const ProbeEntries* a = expected.Stream("audio", static_cast<size_t>(n));
        if (!a) {
            EXPECT_EQ(d.Field("AUDIO_CODEC", n), "") << "sound stream " << n;
            continue;
        }
        SCOPED_TRACE("sound stream " + std::to_string(n));
        EXPECT_EQ(d.Field("AUDIO_SAMPLE_RATE", n), a->at("sample_rate"));
        EXPECT_EQ(d.Field("AUDIO_CHANNEL_COUNT", n), a->at("channels"));
        EXPECT_NE(d.Field("AUDIO_CODEC", n), "");
    }
}

}  // namespace torvo::test
