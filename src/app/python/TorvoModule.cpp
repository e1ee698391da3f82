// The native part of the Python module `torvo` (the package around it is
// torvo/*.py): a context that holds the codec database and the codec
// inventory of one process, the report of one file, and runs of many files
// through the run session. Each report is the JSON line torvo-cli writes,
// read into a dict. The GIL is released whenever files are analysed or
// waited for.
#include <dlfcn.h>

#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "analysis/MessageBox.h"
#include "analysis/FileReport.h"
#include "analysis/NameList.h"
#include "analysis/ReportLine.h"
#include "codecdb/DatabaseNaming.h"
#include "codecdb/ReadDatabase.h"
#include "codecdb/ShippedDatabase.h"
#include "inventory/CodecListing.h"
#include "inventory/InventoryService.h"
#include "platform/gstreamer/GstOnDemand.h"
#include "run/RunSession.h"
#include "settings/Prefs.h"
#include "settings/SettingsStore.h"

namespace py = pybind11;

namespace torvo::python {
namespace {

// Misuse (bad arguments, a database that cannot be loaded): TorvoError in Python.
class CUsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// This module's own file, which says whether it runs from its build tree
// (tests) or from an installation.
std::string ModulePath() {
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&ModulePath), &info) == 0 || !info.dli_fname) return {};
    return info.dli_fname;
}

bool ModuleFromBuildTree() {
    const std::string path = ModulePath();
    return std::string_view(path).starts_with(TORVO_PY_BUILD_DIR "/");
}

// The folder of this module's file, with its trailing '/'.
std::string ModuleDir() {
    const std::string path = ModulePath();
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// The GStreamer module of this build: the one built beside this module in
// the build tree, else the one of the installation this module belongs to,
// then where it was meant to be installed.
GstModuleLoader GstLoaderForModule() {
    return [](std::string& error) {
        static std::once_flag once;
        static const GstModuleEntry* entry = nullptr;
        static std::string loadError;
        std::call_once(once, [] {
            std::vector<std::string> files;
            if (ModuleFromBuildTree()) {
                files.emplace_back(TORVO_PY_GST_MODULE_BUILT);
            } else {
                if (const std::string dir = ModuleDir(); !dir.empty()) files.push_back(dir + TORVO_PY_GST_MODULE_FROM_MODULE);
                // A wheel has no place outside itself to look.
                if (const std::string_view installed = TORVO_PY_GST_MODULE_INSTALLED; !installed.empty())
                    files.emplace_back(installed);
            }
            entry = LoadGstModule(GstModuleFilesOr(std::move(files)), loadError);
        });
        error = loadError;
        return entry;
    };
}

// Per-file messages say nothing here: a file that cannot be opened is its
// error object.
class CSilentMessages : public IMessageBox {
public:
    MessageAnswer Show(std::string_view, std::string_view, MessageIcon, MessageButtons) override {
        return MessageAnswer::kOk;
    }
};


// Turns a line of JSON into Python objects, as json.loads does, for the
// lines this program writes (and any other JSON). The keys repeat in every
// report (the field table alone has over a hundred), so each key's str is
// made once and shared: that makes the dicts cheaper than json.loads does.
class CJsonReader {
public:
    py::object Read(std::string_view text) {
        text_ = text;
        at_ = 0;
        py::object value = Value();
        Blanks();
        if (at_ != text_.size()) Fail();
        return value;
    }

private:
    static constexpr size_t kMaxKeys = 4096;

    [[noreturn]] void Fail() const {
        throw CUsageError("not a JSON text (at byte " + std::to_string(at_) + ")");
    }
    void Blanks() {
        while (at_ < text_.size() && (text_[at_] == ' ' || text_[at_] == '\n' || text_[at_] == '\r' || text_[at_] == '\t'))
            ++at_;
    }
    bool Take(char c) {
        Blanks();
        if (at_ < text_.size() && text_[at_] == c) {
            ++at_;
            return true;
        }
        return false;
    }
    void Expect(char c) {
        if (!Take(c)) Fail();
    }
    bool Word(std::string_view word) {
        if (text_.substr(at_, word.size()) != word) return false;
        at_ += word.size();
        return true;
    }
    static py::object Own(PyObject* object) {
        if (!object) throw py::error_already_set();
        return py::reinterpret_steal<py::object>(object);
    }

    py::object Value() {
        Blanks();
        if (at_ >= text_.size()) Fail();
        const char c = text_[at_];
        if (c == '{') return Object();
        if (c == '[') return Array();
        if (c == '"') return Own(String());
        if (Word("true")) return py::bool_(true);
        if (Word("false")) return py::bool_(false);
        if (Word("null")) return py::none();
        return Number();
    }

    py::object Object() {
        ++at_;
        py::dict object;
        if (Take('}')) return object;
        do {
            Blanks();
            if (at_ >= text_.size() || text_[at_] != '"') Fail();
            py::object key = Key();
            Expect(':');
            py::object value = Value();
            if (PyDict_SetItem(object.ptr(), key.ptr(), value.ptr()) != 0) throw py::error_already_set();
        } while (Take(','));
        Expect('}');
        return object;
    }

    py::object Array() {
        ++at_;
        py::list array;
        if (Take(']')) return array;
        do {
            py::object value = Value();
            if (PyList_Append(array.ptr(), value.ptr()) != 0) throw py::error_already_set();
        } while (Take(','));
        Expect(']');
        return array;
    }

    py::object Key() {
        const size_t start = at_;
        PyObject* made = String();
        py::object key = Own(made);
        const std::string_view raw = text_.substr(start, at_ - start);
        if (auto found = keys_.find(raw); found != keys_.end()) return found->second;
        if (keys_.size() < kMaxKeys) keys_.emplace(std::string(raw), key);
        return key;
    }

    static unsigned Hex4(std::string_view text, size_t at) {
        unsigned value = 0;
        for (size_t i = at; i < at + 4; ++i) {
            const char c = i < text.size() ? text[i] : 'x';
            value <<= 4;
            if (c >= '0' && c <= '9') value |= unsigned(c - '0');
            else if (c >= 'a' && c <= 'f') value |= unsigned(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') value |= unsigned(c - 'A' + 10);
            else return 0x110000;
        }
        return value;
    }
    static void AppendUtf8(std::string& out, unsigned cp) {
        if (cp < 0x80) {
            out += char(cp);
        } else if (cp < 0x800) {
            out += char(0xC0 | (cp >> 6));
            out += char(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += char(0xE0 | (cp >> 12));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        } else {
            out += char(0xF0 | (cp >> 18));
            out += char(0x80 | ((cp >> 12) & 0x3F));
            out += char(0x80 | ((cp >> 6) & 0x3F));
            out += char(0x80 | (cp & 0x3F));
        }
    }

    // A new reference to the str at text_[at_] (its opening quote).
    PyObject* String() {
        ++at_;
        const size_t start = at_;
        while (at_ < text_.size() && text_[at_] != '"' && text_[at_] != '\\') {
            if (static_cast<unsigned char>(text_[at_]) < 0x20) Fail();
            ++at_;
        }
        if (at_ >= text_.size()) Fail();
        if (text_[at_] == '"') {  // nearly every string: no escapes
            ++at_;
            return PyUnicode_DecodeUTF8(text_.data() + start, Py_ssize_t(at_ - 1 - start), "strict");
        }
        std::string decoded(text_.substr(start, at_ - start));
        for (;;) {
            if (at_ >= text_.size()) Fail();
            const char c = text_[at_++];
            if (c == '"') break;
            if (static_cast<unsigned char>(c) < 0x20) Fail();
            if (c != '\\') {
                decoded += c;
                continue;
            }
            if (at_ >= text_.size()) Fail();
            switch (const char e = text_[at_++]) {
                case '"': case '\\': case '/': decoded += e; break;
                case 'b': decoded += '\b'; break;
                case 'f': decoded += '\f'; break;
                case 'n': decoded += '\n'; break;
                case 'r': decoded += '\r'; break;
                case 't': decoded += '\t'; break;
                case 'u': {
                    unsigned cp = Hex4(text_, at_);
                    if (cp > 0xFFFF) Fail();
                    at_ += 4;
                    // A surrogate pair is one code point; a lone surrogate stays, as json.loads keeps it.
                    if (cp >= 0xD800 && cp <= 0xDBFF && text_.substr(at_, 2) == "\\u") {
                        const unsigned low = Hex4(text_, at_ + 2);
                        if (low >= 0xDC00 && low <= 0xDFFF) {
                            cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                            at_ += 6;
                        }
                    }
                    AppendUtf8(decoded, cp);
                    break;
                }
                default: Fail();
            }
        }
        return PyUnicode_DecodeUTF8(decoded.data(), Py_ssize_t(decoded.size()), "surrogatepass");
    }

    py::object Number() {
        const size_t start = at_;
        bool whole = true;
        if (at_ < text_.size() && text_[at_] == '-') ++at_;
        const size_t digits = at_;
        while (at_ < text_.size()) {
            const char c = text_[at_];
            if (c >= '0' && c <= '9') {
                ++at_;
            } else if (c == '.' || c == 'e' || c == 'E' || ((c == '+' || c == '-') && !whole)) {
                whole = false;
                ++at_;
            } else {
                break;
            }
        }
        if (at_ == digits) Fail();
        const std::string number(text_.substr(start, at_ - start));
        if (whole) return Own(PyLong_FromString(number.c_str(), nullptr, 10));
        char* end = nullptr;
        const double value = PyOS_string_to_double(number.c_str(), &end, nullptr);
        if (value == -1.0 && PyErr_Occurred()) throw py::error_already_set();
        if (!end || *end) Fail();
        return Own(PyFloat_FromDouble(value));
    }

    std::string_view text_;
    size_t at_ = 0;
    struct KeyHash {
        using is_transparent = void;
        size_t operator()(std::string_view key) const { return std::hash<std::string_view>()(key); }
    };
    std::unordered_map<std::string, py::object, KeyHash, std::equal_to<>> keys_;
};

}  // namespace

// The codec database and inventory of the process; analyses run on any
// thread, side by side.
class CContext {
public:
    explicit CContext(const std::string& databasePath) : database_(&ShippedCompactDatabase()), prefs_(store_, "") {
        bool found = false;
        if (!databasePath.empty()) {
            found = database_.OpenFile(databasePath, {});
        } else {
            // As an installed torvo-cli looks, from this module's place
            // rather than the interpreter's: never the working directory.
            DatabaseSearch search = DatabaseSearch::Default();
            search.currentDir = false;
            search.programDir.clear();
            if (ModuleFromBuildTree()) search.dataDirs.insert(search.dataDirs.begin(), TORVO_SOURCE_DATA_DIR);
            else if (const std::string dir = ModuleDir(); !dir.empty())
                search.dataDirs.insert(search.dataDirs.begin(), dir + TORVO_PY_DATA_FROM_MODULE);
            found = database_.OpenFile(kDbFileName, search);
        }
        if (!found || !database_.ReadAllSections()) {
            const UserMessage& m = database_.LastMessage();
            throw CUsageError(m.caption + ": " + m.text);
        }
        GstGatherOptions gathering;
        gathering.extraKey = FileStamp(database_.Path());
        inventory_ = std::make_unique<CInventoryService>(
            GstInventoryGathererOnDemand(DatabaseGuidNames(database_), gathering, GstLoaderForModule()));
        UseDatabaseNames(options_, database_);
        // A time-out switches codec use off for the rest of the process only.
        options_.waitForInventory = InventoryWaitFor(*inventory_, {&prefs_, false, true, false},
                                                     [this]() -> IMessageBox& { return errors_; });
    }

    DriverOptions Options(bool scan, bool codecs) const {
        DriverOptions options = options_;
        options.scanEntireFile = scan;
        options.useCodecInfo = codecs;
        return options;
    }

    // The report line of one file (its error object when it cannot be opened).
    std::string AnalyseLine(const std::string& path, bool scan, bool codecs) const {
        Display display;
        CAnalysisDriver driver(display);
        driver.SetOptions(Options(scan, codecs));
        if (!driver.AnalyseFile(path)) return NotOpenedJsonLine(path, driver.LastMessage());
        // The report waits for the final statistics of the full scan.
        while (driver.OnStatusTick() == CAnalysisDriver::ScanTick::kRunning)
            driver.WaitForScanEnd(std::chrono::milliseconds(50));
        return ReportJsonLine(BuildFileReport(path, driver, display));
    }

    std::vector<std::string> CodecLines() {
        bool on = true;
        inventory_->Wait(on, true);
        for (const InventoryMessage& m : inventory_->TakeMessages())
            errors_.Show(m.caption, m.text, MessageIcon::kWarning, MessageButtons::kOk);
        std::vector<std::string> lines;
        const CodecInventory* published = inventory_->Published();
        if (!published) throw CUsageError("the codec inventory could not be gathered");
        const GuidNameLookup names = DatabaseGuidNames(database_);
        for (int i = 0; i < published->Count(); ++i) lines.push_back(CodecListJsonLine(published->At(i), names));
        return lines;
    }

    std::string DatabasePath() const { return database_.Path(); }

    // Why no codec status could be told (GStreamer's module or registry could
    // not be used); empty when they could, or before anything asked.
    std::string CodecsUnavailable() const {
        const CodecInventory* published = inventory_->Published();
        return published ? published->unavailable : std::string();
    }

    // A report line as a dict; only with the GIL held.
    py::object Dict(std::string_view line) { return reader_.Read(line); }

    // The report of `path` as a dict whose "file" is the name exactly: bytes
    // as given, or str decoded as os.fsdecode does (undecodable bytes become
    // lone surrogates), so that the report leads back to its file.
    py::object Report(std::string_view line, const std::string& path, bool asBytes) {
        py::object report = Dict(line);
        if (!PyDict_Check(report.ptr())) return report;
        py::dict members = py::reinterpret_borrow<py::dict>(report);
        if (asBytes) {
            members["file"] = py::bytes(path);
        } else {
            PyObject* name = PyUnicode_DecodeFSDefaultAndSize(path.data(), static_cast<Py_ssize_t>(path.size()));
            if (!name) throw py::error_already_set();
            members["file"] = py::reinterpret_steal<py::object>(name);
        }
        if (members.contains("file_bytes")) PyDict_DelItemString(members.ptr(), "file_bytes");
        return report;
    }

private:
    CReadDatabase database_;
    CMemorySettingsStore store_;
    CPrefs prefs_;
    std::unique_ptr<CInventoryService> inventory_;
    DriverOptions options_;
    CStreamMessageBox errors_{std::cerr};
    CJsonReader reader_;
};

// A report line that no queued file gives (a folder without media files),
// standing before the queued file of index `before`: the reports keep the
// order of the names given.
struct PlacedLine {
    size_t before = 0;
    std::string line;
    std::string name;
};

// A run of many files through the run session on a thread of its own; the
// reports wait in a short queue, in the order of the names, until Python
// takes them. Closing it (or dropping it) stops the run.
class CManyRun : private IRunEvents {
public:
    CManyRun(std::shared_ptr<CContext> context, std::vector<std::string> paths, int workers, bool scan, bool codecs,
             bool namesAsBytes, std::deque<PlacedLine> placed = {})
        : context_(std::move(context)),
          namesAsBytes_(namesAsBytes),
          total_(paths.size() + placed.size()),
          placed_(std::move(placed)),
          session_(display_, &silent_) {
        session_.Queue() = FileQueue(FileQueue::kUnlimited);
        session_.Queue().Fill(std::move(paths));
        RunOptions run;
        run.driver = context_->Options(scan, codecs);
        run.interrupted = &stop_;
        run.workers = workers;
        session_.SetOptions(std::move(run));
        thread_ = std::thread([this] {
            try {
                session_.Run(QueueMode::kRunAll, *this);
                PushPlaced(SIZE_MAX);
            } catch (const std::exception& e) {
                const std::lock_guard lock(mutex_);
                failure_ = e.what();
            }
            const std::lock_guard lock(mutex_);
            finished_ = true;
            changed_.notify_all();
        });
    }
    ~CManyRun() override { Close(); }
    CManyRun(const CManyRun&) = delete;
    CManyRun& operator=(const CManyRun&) = delete;

    // The next report line and its file's name; nothing once every file was delivered.
    std::optional<std::pair<std::string, std::string>> Next() {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !lines_.empty() || finished_; });
        if (!lines_.empty()) {
            std::pair<std::string, std::string> line = std::move(lines_.front());
            lines_.pop_front();
            changed_.notify_all();
            return line;
        }
        if (!failure_.empty()) throw std::runtime_error(failure_);
        return std::nullopt;
    }

    CContext& Context() { return *context_; }
    bool NamesAsBytes() const { return namesAsBytes_; }
    // How many reports the run yields: one a queued file, one a folder without media.
    size_t Total() const { return total_; }

    void Close() {
        stop_.store(true);
        {
            const std::lock_guard lock(mutex_);
            changed_.notify_all();
        }
        if (thread_.joinable()) thread_.join();
    }

private:
    static constexpr size_t kWaitingLines = 64;

    std::string ReportReady(const AnalysedFile& file) override { return ReportJsonLine(*file.report); }
    void Deliver(size_t index, const std::string& path, const std::string& report, const CAnalysisDriver*) override {
        PushPlaced(index);
        Push(report, path);
    }
    void FileNotOpened(size_t index, const std::string& path, const UserMessage& message) override {
        PushPlaced(index);
        Push(NotOpenedJsonLine(path, message), path);
    }
    // The placed lines that stand before the queued file `index` (files are delivered in queue order).
    void PushPlaced(size_t index) {
        while (!placed_.empty() && placed_.front().before <= index) {
            Push(std::move(placed_.front().line), placed_.front().name);
            placed_.pop_front();
        }
    }
    // Waits while Python has not taken the earlier lines, so that a slow
    // reader holds the workers back instead of the memory growing.
    void Push(std::string line, const std::string& path) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return lines_.size() < kWaitingLines || stop_.load(); });
        if (stop_.load()) return;
        lines_.emplace_back(std::move(line), path);
        changed_.notify_all();
    }

    std::shared_ptr<CContext> context_;
    bool namesAsBytes_ = false;
    size_t total_ = 0;
    std::deque<PlacedLine> placed_;  // touched by the run's thread only
    CSilentMessages silent_;
    Display display_;
    CRunSession session_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<std::string, std::string>> lines_;  // report, name
    bool finished_ = false;
    std::string failure_;
    std::thread thread_;
};

}  // namespace torvo::python

PYBIND11_MODULE(_torvo, m) {
    using namespace torvo::python;
    m.doc() = "Native part of the torvo module: use the functions of the torvo package.";
    py::register_exception<CUsageError>(m, "TorvoError", PyExc_ValueError);
    m.attr("__version__") = TORVO_VERSION;

    // JSON text to Python objects as this module reads its reports (for the tests).
    m.def("loads", [](const std::string& text) { return CJsonReader().Read(text); });

    py::class_<CContext, std::shared_ptr<CContext>>(m, "Context")
        .def(py::init([](const std::string& database) {
                 py::gil_scoped_release release;
                 return std::make_shared<CContext>(database);
             }),
             py::arg("database") = "")
        .def_property_readonly("database", &CContext::DatabasePath)
        .def_property_readonly("codecs_unavailable", &CContext::CodecsUnavailable)
        .def(
            "analyse",
            [](CContext& context, const py::bytes& path, bool scan, bool codecs, bool nameAsBytes) {
                std::string name = path;
                std::string line;
                {
                    py::gil_scoped_release release;
                    line = context.AnalyseLine(name, scan, codecs);
                }
                return context.Report(line, name, nameAsBytes);
            },
            py::arg("path"), py::arg("scan"), py::arg("codecs"), py::arg("name_as_bytes") = false)
        .def(
            "codecs",
            [](CContext& context) {
                std::vector<std::string> lines;
                {
                    py::gil_scoped_release release;
                    lines = context.CodecLines();
                }
                py::list codecs;
                for (const std::string& line : lines) codecs.append(context.Dict(line));
                return codecs;
            })
        .def(
            "many",
            [](const std::shared_ptr<CContext>& context, const std::vector<py::bytes>& paths, int workers, bool scan,
               bool codecs, bool namesAsBytes) {
                if (workers < 1) throw CUsageError("workers must be at least 1");
                std::vector<std::string> names(paths.begin(), paths.end());
                // Folders stand for their media files, as on the command line;
                // a folder without any gives its error where it was named.
                torvo::ExpandedNames all;
                std::vector<std::string> queued;
                std::deque<PlacedLine> placed;
                {
                    py::gil_scoped_release release;
                    for (const std::string& name : names) {
                        torvo::ExpandedNames one = torvo::ExpandFolders({name});
                        for (const std::string& folder : one.withoutMedia) {
                            placed.push_back({queued.size(),
                                              torvo::ErrorJsonLine(folder, torvo::kNoMediaFilesCode,
                                                                   torvo::NoMediaFilesText(folder)),
                                              folder});
                            all.withoutMedia.push_back(folder);
                        }
                        std::move(one.names.begin(), one.names.end(), std::back_inserter(queued));
                        all.skipped += one.skipped;
                        all.unreadable.insert(all.unreadable.end(), one.unreadable.begin(), one.unreadable.end());
                    }
                }
                if (const std::string notes = torvo::ExpansionNotes(all); !notes.empty()) std::cerr << notes << "\n";
                return std::make_unique<CManyRun>(context, std::move(queued), workers, scan, codecs, namesAsBytes,
                                                  std::move(placed));
            },
            py::arg("paths"), py::arg("workers"), py::arg("scan"), py::arg("codecs"), py::arg("names_as_bytes") = false);

    py::class_<CManyRun>(m, "ManyRun")
        .def("next",
             [](CManyRun& run) -> py::object {
                 std::optional<std::pair<std::string, std::string>> line;
                 {
                     py::gil_scoped_release release;
                     line = run.Next();
                 }
                 if (!line) return py::none();
                 return run.Context().Report(line->first, line->second, run.NamesAsBytes());
             })
        .def("total", &CManyRun::Total)
        .def("close", [](CManyRun& run) {
            py::gil_scoped_release release;
            run.Close();
        });
}
