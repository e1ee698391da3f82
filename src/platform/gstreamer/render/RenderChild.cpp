// torvo-render: the child process of the render test (and of playback). It lets GStreamer build
// what it would play for a file (uridecodebin with fake sinks, taken to
// PAUSED), describes the elements and how their pads connect as JSON lines on
// standard output, and exits. A plugin that crashes takes only this process
// down: the fatal-signal handler first writes which module the faulting code
// belongs to. The parent enforces the time limit.
#include <dlfcn.h>
#include <execinfo.h>
#include <gst/gst.h>
#include <gst/pbutils/pbutils.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "inventory/CapsTypes.h"
#include "platform/gstreamer/render/ChainChild.h"
#include "platform/gstreamer/render/PlayChild.h"
#include "platform/gstreamer/render/RenderProtocol.h"
#include "render/RenderPlatform.h"
#include "base/Translate.h"

namespace {

using torvo::MediaTypePair;
namespace codes = torvo::render_codes;

// ---- the fatal-signal handler -------------------------------------------------

void WriteRaw(const char* text) {
    size_t left = std::strlen(text);
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= size_t(n);
    }
}

// Appends text to out as the inside of a JSON string (only what paths need).
void AppendEscaped(char* out, size_t size, const char* text) {
    size_t at = std::strlen(out);
    for (; *text && at + 3 < size; ++text) {
        const unsigned char c = static_cast<unsigned char>(*text);
        if (c == '"' || c == '\\') out[at++] = '\\';
        if (c < 0x20) continue;
        out[at++] = char(c);
    }
    out[at] = '\0';
}

const char* ModuleOf(void* address) {
    Dl_info info{};
    if (address && dladdr(address, &info) != 0 && info.dli_fname && info.dli_fname[0]) return info.dli_fname;
    return nullptr;
}

void FatalSignal(int signal, siginfo_t*, void* context) {
    void* pc = nullptr;
#if defined(__x86_64__)
    pc = reinterpret_cast<void*>(static_cast<ucontext_t*>(context)->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    pc = reinterpret_cast<void*>(static_cast<ucontext_t*>(context)->uc_mcontext.pc);
#else
    (void)context;
#endif
    const char* module = ModuleOf(pc);
    if (!module) {
        // A call through a bad pointer: the caller's frames name the module.
        void* frames[8];
        const int n = backtrace(frames, 8);
        for (int i = 1; i < n && !module; ++i) module = ModuleOf(frames[i]);
    }
    static char line[4200];
    std::snprintf(line, sizeof line, "{\"%s\":{\"signal\":%d,\"module\":\"", torvo::render_protocol::kCrash, signal);
    AppendEscaped(line, sizeof line - 8, module ? module : "");
    std::strcat(line, "\"}}\n");
    WriteRaw(line);
    _exit(torvo::render_protocol::kCrashExitStatus);
}

void InstallFatalSignalHandlers() {
    struct sigaction action {};
    action.sa_sigaction = FatalSignal;
    action.sa_flags = SA_SIGINFO | SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (int s : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGABRT}) sigaction(s, &action, nullptr);
}

// ---- the graph ----------------------------------------------------------------

// Elements that only carry data along inside GStreamer's own bins; DirectShow
// graphs have nothing like them, so the walk looks through them.
bool IsPlumbing(GstElement* element) {
    if (GST_IS_BIN(element)) return true;
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory) return true;
    static const std::set<std::string> kPlumbing = {"typefind", "multiqueue", "queue", "queue2", "capsfilter",
                                                    "identity"};
    return kPlumbing.contains(GST_OBJECT_NAME(factory));
}

constexpr const char* kHiddenSink = "torvo-unrendered";
bool IsHidden(GstElement* element) { return g_object_get_data(G_OBJECT(element), kHiddenSink) != nullptr; }

GstElement* ParentElement(GstPad* pad) {
    GstObject* parent = GST_OBJECT_PARENT(pad);
    return parent && GST_IS_ELEMENT(parent) ? GST_ELEMENT(parent) : nullptr;
}

// The pad of a listed element that this pad exchanges data with, through
// ghost pads, bins and plumbing elements; null when none.
GstPad* ResolvePeer(GstPad* pad) {
    GstPad* p = gst_pad_get_peer(pad);
    for (int hops = 0; p && hops < 64; ++hops) {
        GstPad* next = nullptr;
        if (GST_IS_GHOST_PAD(p)) {
            next = gst_ghost_pad_get_target(GST_GHOST_PAD(p));  // into the bin
        } else if (GST_IS_PROXY_PAD(p) && GST_OBJECT_PARENT(p) && GST_IS_GHOST_PAD(GST_OBJECT_PARENT(p))) {
            next = gst_pad_get_peer(GST_PAD(GST_OBJECT_PARENT(p)));  // out of the bin
        } else if (GstElement* element = ParentElement(p); element && IsHidden(element)) {
            next = nullptr;
        } else if (element && IsPlumbing(element)) {
            GstIterator* links = gst_pad_iterate_internal_links(p);
            GValue item = G_VALUE_INIT;
            if (links && gst_iterator_next(links, &item) == GST_ITERATOR_OK) {
                GstPad* through = GST_PAD(g_value_get_object(&item));
                next = gst_pad_get_peer(through);
                g_value_unset(&item);
            }
            if (links) gst_iterator_free(links);
        } else {
            return p;  // a reference the caller releases
        }
        gst_object_unref(p);
        p = next;
    }
    if (p) gst_object_unref(p);
    return nullptr;
}

MediaTypePair TypeOfCaps(GstCaps* caps, std::string& mediaName) {
    mediaName.clear();
    if (!caps || gst_caps_is_empty(caps) || gst_caps_is_any(caps)) return {};
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    mediaName = gst_structure_get_name(s);
    GstCaps* first = gst_caps_copy_nth(caps, 0);
    MediaTypePair pair{};
    bool found = false;
    for (const torvo::CapsTypeRow& row : torvo::CapsTypeTable()) {
        GstCaps* rowCaps = gst_caps_from_string(row.caps);
        const bool match = rowCaps && gst_caps_can_intersect(rowCaps, first);
        if (rowCaps) gst_caps_unref(rowCaps);
        if (match) {
            pair = row.pair;
            found = true;
            break;
        }
    }
    gst_caps_unref(first);
    if (!found) return torvo::ProjectTypeForCaps(mediaName);
    // A raw video format without a DirectShow subtype is named by its FourCC.
    if (pair.subtype.IsNull() && mediaName == "video/x-raw") {
        const char* format = gst_structure_get_string(s, "format");
        if (format && std::strlen(format) == 4) pair.subtype = torvo::FourccGuid(format);
    }
    return pair;
}

std::string PluginPath(GstElementFactory* factory, std::string* version, std::string* description,
                       std::string* package) {
    std::string path;
    if (GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory))) {
        if (const char* f = gst_plugin_get_filename(plugin)) path = f;
        if (const char* v = gst_plugin_get_version(plugin)) *version = v;
        if (const char* d = gst_plugin_get_description(plugin)) *description = d;
        if (const char* p = gst_plugin_get_package(plugin)) *package = p;
        gst_object_unref(plugin);
    }
    return path;
}

struct Graph {
    std::vector<GstElement*> elements;  // listed ones, in stream order
    std::map<GstPad*, int> padIds;
};

std::vector<GstPad*> PadsOf(GstElement* element) {
    std::vector<GstPad*> pads;
    GST_OBJECT_LOCK(element);
    for (GList* l = element->pads; l; l = l->next) pads.push_back(GST_PAD(gst_object_ref(l->data)));
    GST_OBJECT_UNLOCK(element);
    return pads;
}

// Every listed element, sources first and then downstream in the order the
// pads lead.
Graph CollectGraph(GstElement* pipeline) {
    std::vector<GstElement*> all;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
    GValue item = G_VALUE_INIT;
    bool done = false;
    while (!done) {
        switch (gst_iterator_next(it, &item)) {
            case GST_ITERATOR_OK: {
                auto* e = GST_ELEMENT(g_value_get_object(&item));
                if (!IsPlumbing(e) && !IsHidden(e)) all.push_back(GST_ELEMENT(gst_object_ref(e)));
                g_value_reset(&item);
                break;
            }
            case GST_ITERATOR_RESYNC:
                for (GstElement* e : all) gst_object_unref(e);
                all.clear();
                gst_iterator_resync(it);
                break;
            default: done = true;
        }
    }
    g_value_unset(&item);
    gst_iterator_free(it);

    Graph graph;
    std::set<GstElement*> placed;
    auto isSource = [](GstElement* e) { return e->numsinkpads == 0; };
    // Breadth first from the sources along resolved peers.
    std::vector<GstElement*> order;
    for (GstElement* e : all)
        if (isSource(e) && placed.insert(e).second) order.push_back(e);
    for (size_t at = 0; at < order.size(); ++at) {
        for (GstPad* pad : PadsOf(order[at])) {
            if (GST_PAD_DIRECTION(pad) == GST_PAD_SRC) {
                if (GstPad* peer = ResolvePeer(pad)) {
                    GstElement* next = ParentElement(peer);
                    if (next && std::find(all.begin(), all.end(), next) != all.end() && placed.insert(next).second)
                        order.push_back(next);
                    gst_object_unref(peer);
                }
            }
            gst_object_unref(pad);
        }
    }
    for (GstElement* e : all)
        if (placed.insert(e).second) order.push_back(e);
    graph.elements = order;
    int id = 0;
    for (GstElement* e : graph.elements)
        for (GstPad* pad : PadsOf(e)) {
            graph.padIds[pad] = id++;
            gst_object_unref(pad);  // the element keeps its pads alive
        }
    return graph;
}

nlohmann::json DescribeElement(GstElement* element, const Graph& graph) {
    GstElementFactory* factory = gst_element_get_factory(element);
    const std::string factoryName = factory ? GST_OBJECT_NAME(factory) : GST_OBJECT_NAME(element);
    std::string version, description, package;
    const std::string path = factory ? PluginPath(factory, &version, &description, &package) : std::string();
    nlohmann::json f;
    f["name"] = factoryName;
    const char* role = static_cast<const char*>(g_object_get_data(G_OBJECT(element), "torvo-role"));
    f["clsid"] = torvo::render_protocol::ClassIdText(factoryName, role ? role : "");
    f["path"] = path;
    f["version"] = version;
    f["description"] = description;
    f["product"] = package;
    nlohmann::json pins = nlohmann::json::array();
    for (GstPad* pad : PadsOf(element)) {
        nlohmann::json p;
        p["id"] = graph.padIds.count(pad) ? graph.padIds.at(pad) : -1;
        p["output"] = GST_PAD_DIRECTION(pad) == GST_PAD_SRC;
        p["name"] = GST_OBJECT_NAME(pad);
        GstPad* peer = ResolvePeer(pad);
        const bool listed = peer && graph.padIds.count(peer);
        p["peer"] = listed ? graph.padIds.at(peer) : -1;
        p["connected"] = listed;
        if (listed) {
            GstCaps* caps = gst_pad_get_current_caps(pad);
            if (!caps) caps = gst_pad_get_current_caps(peer);
            // Pull-mode connections carry no caps: what the reading side accepts names them.
            if (!caps) caps = gst_pad_query_caps(GST_PAD_DIRECTION(pad) == GST_PAD_SINK ? pad : peer, nullptr);
            std::string mediaName;
            const MediaTypePair pair = TypeOfCaps(caps, mediaName);
            if (caps) gst_caps_unref(caps);
            p["major"] = torvo::GuidString(pair.major);
            p["subtype"] = torvo::GuidString(pair.subtype);
            p["caps"] = mediaName;
        }
        if (peer) gst_object_unref(peer);
        pins.push_back(std::move(p));
        gst_object_unref(pad);
    }
    f["pins"] = std::move(pins);
    return f;
}

// ---- the render ---------------------------------------------------------------

struct Render {
    GstElement* pipeline = nullptr;
    int rawStreams = 0;
    int otherStreams = 0;
    std::string otherCaps;  // the caps names of those streams, for the message
};

void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* render = static_cast<Render*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    const char* name = caps && gst_caps_get_size(caps) > 0 ? gst_structure_get_name(gst_caps_get_structure(caps, 0)) : "";
    const bool video = std::strcmp(name, "video/x-raw") == 0;
    const bool audio = std::strcmp(name, "audio/x-raw") == 0;
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    if (video || audio) {
        // A stand-in for the renderer the machine would play this stream with.
        g_object_set_data(G_OBJECT(sink), "torvo-role", const_cast<char*>(video ? "video-renderer" : "audio-renderer"));
        ++render->rawStreams;
    } else {
        // Stays unconnected in the description, as an unrendered stream.
        g_object_set_data(G_OBJECT(sink), kHiddenSink, sink);
        ++render->otherStreams;
        if (*name && render->otherCaps.find(name) == std::string::npos)
            render->otherCaps += (render->otherCaps.empty() ? "" : ", ") + std::string(name);
    }
    if (caps) gst_caps_unref(caps);
    gst_bin_add(GST_BIN(render->pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

uint32_t CodeOfError(GError* error) {
    if (!error) return codes::kFail;
    if (error->domain == GST_RESOURCE_ERROR &&
        (error->code == GST_RESOURCE_ERROR_NOT_FOUND || error->code == GST_RESOURCE_ERROR_OPEN_READ))
        return codes::kFileNotFound;
    if (error->domain == GST_STREAM_ERROR) {
        if (error->code == GST_STREAM_ERROR_TYPE_NOT_FOUND || error->code == GST_STREAM_ERROR_WRONG_TYPE)
            return codes::kUnknownFileType;
        if (error->code == GST_STREAM_ERROR_CODEC_NOT_FOUND) return codes::kUnsupportedStream;
        if (error->code == GST_STREAM_ERROR_DEMUX || error->code == GST_STREAM_ERROR_DECODE ||
            error->code == GST_STREAM_ERROR_FORMAT)
            return codes::kInvalidFileFormat;
    }
    if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
        return codes::kUnsupportedStream;
    return codes::kFail;
}

void PrintLine(const nlohmann::json& j) {
    const std::string text = j.dump() + "\n";
    WriteRaw(text.c_str());
}

int RenderFile(const char* path) {
    Render render;
    render.pipeline = gst_pipeline_new("render-test");
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    nlohmann::json result;
    if (!decode) {
        result["hresult"] = codes::kFail;
        result["message"] = "uridecodebin is not installed";
        PrintLine({{torvo::render_protocol::kResult, result}});
        return 0;
    }
    GError* error = nullptr;
    gchar* uri = gst_filename_to_uri(path, &error);
    if (!uri) {
        result["hresult"] = codes::kFileNotFound;
        result["message"] = error ? error->message : "";
        PrintLine({{torvo::render_protocol::kResult, result}});
        return 0;
    }
    g_object_set(decode, "uri", uri, nullptr);
    g_free(uri);
    gst_bin_add(GST_BIN(render.pipeline), decode);
    g_signal_connect(decode, "pad-added", G_CALLBACK(OnPadAdded), &render);

    GstBus* bus = gst_element_get_bus(render.pipeline);
    bool missing = false, prerolled = false;
    uint32_t failure = 0;
    std::string message, missingText;
    if (gst_element_set_state(render.pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) failure = codes::kFail;
    while (!failure && !prerolled) {
        GstMessage* m = gst_bus_timed_pop_filtered(
            bus, GST_CLOCK_TIME_NONE,
            GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ELEMENT | GST_MESSAGE_EOS));
        if (!m) break;
        switch (GST_MESSAGE_TYPE(m)) {
            case GST_MESSAGE_ERROR: {
                GError* e = nullptr;
                gst_message_parse_error(m, &e, nullptr);
                failure = CodeOfError(e);
                if (e) message = e->message;
                if (e) g_error_free(e);
                break;
            }
            case GST_MESSAGE_ELEMENT:
                if (gst_is_missing_plugin_message(m)) {
                    missing = true;
                    // What is missing, in GStreamer's words ("MPEG-4 AAC decoder").
                    if (gchar* what = gst_missing_plugin_message_get_description(m)) {
                        if (missingText.find(what) == std::string::npos)
                            missingText += (missingText.empty() ? N_("Нет модуля GStreamer: ") : ", ") + std::string(what);
                        g_free(what);
                    }
                }
                break;
            default:
                if (GST_MESSAGE_SRC(m) == GST_OBJECT(render.pipeline) || GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS)
                    prerolled = true;
        }
        gst_message_unref(m);
    }
    gst_object_unref(bus);

    // Decoders missing for every stream: nothing could be rendered.
    if (!failure && render.rawStreams == 0) failure = codes::kUnsupportedStream;
    if (failure) {
        result["hresult"] = failure;
        result["message"] = missingText.empty() ? message : missingText;
    } else {
        const Graph graph = CollectGraph(render.pipeline);
        for (GstElement* e : graph.elements) PrintLine({{torvo::render_protocol::kFilter, DescribeElement(e, graph)}});
        for (GstElement* e : graph.elements) gst_object_unref(e);
        result["hresult"] = missing || render.otherStreams > 0 ? codes::kPartialRender : codes::kOk;
        std::string said = missingText;
        if (!render.otherCaps.empty())
            said += (said.empty() ? "" : ". ") + std::string(N_("Не отрендерены потоки: ")) + render.otherCaps;
        if (!said.empty()) result["message"] = said;
    }
    PrintLine({{torvo::render_protocol::kResult, result}});
    gst_element_set_state(render.pipeline, GST_STATE_NULL);
    gst_object_unref(render.pipeline);
    return 0;
}

}  // namespace

// In a sanitizer build the child's own fatal-signal handler must stay in
// charge: reporting the culprit module is what this process is for.
extern "C" const char* __asan_default_options() {
    return "handle_segv=0:handle_sigbus=0:handle_sigfpe=0:handle_sigill=0:handle_abort=0:detect_leaks=0";
}

int main(int argc, char** argv) {
    InstallFatalSignalHandlers();
    gst_init(&argc, &argv);
    if (argc == 3 && std::strcmp(argv[1], "--render") == 0) {
        const int status = RenderFile(argv[2]);
        std::fflush(stdout);
        _exit(status);  // skip the teardown of plugins that may hang or crash on unload
    }
    if ((argc == 3 || argc == 5) && std::strcmp(argv[1], "--play") == 0) {
        uint64_t window = 0;
        if (argc == 5 && std::strcmp(argv[3], "--window") == 0) window = std::strtoull(argv[4], nullptr, 0);
        const int status = torvo::render_child::PlayFile(argv[2], window);
        std::fflush(stdout);
        _exit(status);
    }
    if (argc == 3 && std::strcmp(argv[1], "--build") == 0) {
        const int status = torvo::render_child::BuildAndReport(argv[2]);
        std::fflush(stdout);
        _exit(status);
    }
    if ((argc == 3 || argc == 5) && std::strcmp(argv[1], "--play-chain") == 0) {
        uint64_t window = 0;
        if (argc == 5 && std::strcmp(argv[3], "--window") == 0) window = std::strtoull(argv[4], nullptr, 0);
        const int status = torvo::render_child::PlayChain(argv[2], window);
        std::fflush(stdout);
        _exit(status);
    }
    std::fprintf(stderr,
                 "usage: torvo-render --render FILE | --play FILE [--window XID] | --build CHAIN | --play-chain CHAIN "
                 "[--window XID]\n");
    return 2;
}
