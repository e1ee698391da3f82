#include "platform/gstreamer/render/ChainChild.h"

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "base/Text.h"
#include "platform/gstreamer/render/ChainProtocol.h"
#include "platform/gstreamer/render/PlayChild.h"
#include "platform/gstreamer/render/RenderProtocol.h"
#include "render/RenderPlatform.h"

namespace torvo::render_child {
namespace {

using Step = ChainBuildReport::Step;

uint32_t PinId(GstPad* pad) { return uint32_t(reinterpret_cast<uintptr_t>(pad)); }

bool IsRendererClass(const std::string& clsid) {
    for (const Guid& g : {guids::kClsidVideoRendererDefault, guids::kClsidVideoRenderer, guids::kClsidDSoundRender})
        if (EqualsIgnoreAsciiCase(clsid, GuidString(g))) return true;
    return false;
}

// The factory an inventory entry stands for: by its name-based class
// identifier, or, for the renderers' stand-ins, by the registered name and file.
GstElementFactory* FactoryOf(const ChainBuildNode& node) {
    GList* features = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    GstElementFactory* found = nullptr;
    const bool renderer = IsRendererClass(node.clsidText);
    for (GList* l = features; l && !found; l = l->next) {
        auto* factory = GST_ELEMENT_FACTORY(l->data);
        const std::string name = gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory));
        if (EqualsIgnoreAsciiCase(render_protocol::ClassIdText(name, ""), node.clsidText)) {
            found = factory;
        } else if (renderer) {
            const char* longName = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_LONGNAME);
            if (!longName || node.friendlyName != longName) continue;
            std::string file;
            if (GstPlugin* plugin = gst_plugin_feature_get_plugin(GST_PLUGIN_FEATURE(factory))) {
                if (const char* f = gst_plugin_get_filename(plugin)) file = f;
                gst_object_unref(plugin);
            }
            if (node.path.empty() || file == node.path) found = factory;
        }
    }
    if (found) gst_object_ref(found);
    gst_plugin_feature_list_free(features);
    return found;
}

GstPad* FirstPad(GstElement* element, GstPadDirection direction, const std::vector<std::string>* filter) {
    GstPad* first = nullptr;
    GstPad* matched = nullptr;
    GST_OBJECT_LOCK(element);
    for (GList* l = direction == GST_PAD_SRC ? element->srcpads : element->sinkpads; l && !matched; l = l->next) {
        GstPad* pad = GST_PAD(l->data);
        if (!first) first = pad;
        if (filter)
            for (const std::string& f : *filter)
                if (std::strstr(GST_OBJECT_NAME(pad), f.c_str())) matched = pad;
    }
    GstPad* result = matched ? matched : first;
    if (result) gst_object_ref(result);
    GST_OBJECT_UNLOCK(element);
    return result;
}

bool HasSometimesSource(GstElement* element) {
    for (const GList* l = gst_element_class_get_pad_template_list(GST_ELEMENT_GET_CLASS(element)); l; l = l->next) {
        auto* t = GST_PAD_TEMPLATE(l->data);
        if (GST_PAD_TEMPLATE_DIRECTION(t) == GST_PAD_SRC && GST_PAD_TEMPLATE_PRESENCE(t) == GST_PAD_SOMETIMES) return true;
    }
    return false;
}

bool IsParser(GstElement* element) {
    GstElementFactory* f = gst_element_get_factory(element);
    const char* klass = f ? gst_element_factory_get_metadata(f, GST_ELEMENT_METADATA_KLASS) : nullptr;
    return klass && std::strstr(klass, "Parser");
}

// The parser that turns what the pad delivers into what the next element
// accepts (elementary streams from a demuxer often lack the framing a
// decoder asks for); null when none is needed or known.
GstElementFactory* ParserBetween(GstCaps* caps, GstElement* upstream, GstElement* downstream, GstPad* sinkPad) {
    if (!caps || gst_caps_is_any(caps) || gst_caps_is_empty(caps) || IsParser(downstream)) return nullptr;
    // What a parser or a decoder delivers needs no further parsing.
    if ((upstream && IsParser(upstream)) || std::strstr(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "/x-raw"))
        return nullptr;
    GstCaps* accepted = gst_pad_query_caps(sinkPad, nullptr);
    GList* all = gst_element_factory_list_get_elements(GST_ELEMENT_FACTORY_TYPE_PARSER, GST_RANK_MARGINAL);
    GList* fitting = gst_element_factory_list_filter(all, caps, GST_PAD_SINK, FALSE);
    fitting = g_list_sort(fitting, gst_plugin_feature_rank_compare_func);
    GstElementFactory* chosen = nullptr;
    for (GList* l = fitting; l && !chosen; l = l->next) {
        auto* f = GST_ELEMENT_FACTORY(l->data);
        for (const GList* t = gst_element_factory_get_static_pad_templates(f); t && !chosen; t = t->next) {
            auto* tmpl = static_cast<GstStaticPadTemplate*>(t->data);
            if (tmpl->direction != GST_PAD_SRC) continue;
            GstCaps* out = gst_static_caps_get(&tmpl->static_caps);
            if (accepted && gst_caps_can_intersect(out, accepted)) chosen = GST_ELEMENT_FACTORY(gst_object_ref(f));
            gst_caps_unref(out);
        }
    }
    gst_plugin_feature_list_free(fitting);
    gst_plugin_feature_list_free(all);
    if (accepted) gst_caps_unref(accepted);
    return chosen;
}

struct Build;

// One connection of the chain: from the previous element's output pin to
// the node's input pin, made at once or when the demuxer's pad appears.
struct Connection {
    Build* build = nullptr;
    int node = -1;
    GstElement* downstream = nullptr;
    GstPad* sinkPad = nullptr;            // the node's input pin (a reference)
    std::vector<std::string> converters;  // stages in front of the renderer
    bool fromDemuxer = false;
    bool linked = false;
    GstElement* volume = nullptr;         // the volume stage, when it has one
    uint32_t outputPin = 0;
    std::string outputPinName;
};

struct Build {
    GstElement* pipeline = nullptr;
    std::vector<std::string> filter;
    std::mutex mutex;
    bool failed = false;
    ChainBuildReport report;
    std::map<GstElement*, int> nodeOf;    // the node each element of the chain is
    std::map<GstElement*, int> helperOf;  // the node whose input a queue, parser or converter serves
    std::vector<std::unique_ptr<Connection>> connections;

    void Fail(Step step, int node, std::string message, const Connection* c = nullptr) {
        std::lock_guard<std::mutex> lock(mutex);
        if (failed) return;
        failed = true;
        report.failedStep = step;
        report.node = node;
        report.message = std::move(message);
        if (!report.code) report.code = render_codes::kFail;
        if (c) {
            report.outputPin = c->outputPin;
            report.outputPinName = c->outputPinName;
            report.inputPin = PinId(c->sinkPad);
            report.inputPinName = c->sinkPad ? GST_OBJECT_NAME(c->sinkPad) : "";
        }
    }
    bool Failed() {
        std::lock_guard<std::mutex> lock(mutex);
        return failed;
    }
};

GstElement* Helper(Build& b, const char* factory, int node) {
    GstElement* e = gst_element_factory_make(factory, nullptr);
    if (!e) return nullptr;
    gst_bin_add(GST_BIN(b.pipeline), e);
    gst_element_sync_state_with_parent(e);
    std::lock_guard<std::mutex> lock(b.mutex);
    b.helperOf[e] = node;
    return e;
}

// Links the pad to the connection's input pin through a queue after a
// demuxer, the parser the caps need and the converters in front of a renderer.
void Connect(Connection& c, GstPad* pad) {
    Build& b = *c.build;
    c.outputPin = PinId(pad);
    if (c.outputPinName.empty()) c.outputPinName = GST_OBJECT_NAME(pad);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    std::vector<GstElement*> stages;
    if (c.fromDemuxer)
        if (GstElement* q = Helper(b, "queue", c.node)) stages.push_back(q);
    GstElement* upstream = GST_PAD_PARENT(pad) && GST_IS_ELEMENT(GST_PAD_PARENT(pad)) ? GST_ELEMENT(GST_PAD_PARENT(pad)) : nullptr;
    if (GstElementFactory* parser = ParserBetween(caps, upstream, c.downstream, c.sinkPad)) {
        if (GstElement* p = gst_element_factory_create(parser, nullptr)) {
            gst_bin_add(GST_BIN(b.pipeline), p);
            gst_element_sync_state_with_parent(p);
            std::lock_guard<std::mutex> lock(b.mutex);
            b.helperOf[p] = c.node;
            stages.push_back(p);
        }
        gst_object_unref(parser);
    }
    if (caps) gst_caps_unref(caps);
    for (const std::string& name : c.converters)
        if (GstElement* e = Helper(b, name.c_str(), c.node)) {
            stages.push_back(e);
            if (name == "volume") c.volume = e;
        }

    GstPad* from = GST_PAD(gst_object_ref(pad));
    bool ok = true;
    std::string why;
    for (GstElement* stage : stages) {
        GstPad* in = gst_element_get_static_pad(stage, "sink");
        const GstPadLinkReturn r = in ? gst_pad_link(from, in) : GST_PAD_LINK_REFUSED;
        if (in) gst_object_unref(in);
        gst_object_unref(from);
        from = gst_element_get_static_pad(stage, "src");
        if (r != GST_PAD_LINK_OK || !from) {
            ok = false;
            why = Format("%s (%s)", gst_pad_link_get_name(r), GST_OBJECT_NAME(stage));
            break;
        }
    }
    if (ok) {
        const GstPadLinkReturn r = gst_pad_link(from, c.sinkPad);
        ok = r == GST_PAD_LINK_OK;
        if (!ok) why = gst_pad_link_get_name(r);
    }
    if (from) gst_object_unref(from);
    if (ok) c.linked = true;
    else b.Fail(Step::kConnect, c.node, why, &c);
}

void OnPadAdded(GstElement*, GstPad* pad, gpointer data) {
    auto* c = static_cast<Connection*>(data);
    if (c->linked || GST_PAD_DIRECTION(pad) != GST_PAD_SRC) return;
    bool wanted = c->build->filter.empty();
    for (const std::string& f : c->build->filter)
        if (std::strstr(GST_OBJECT_NAME(pad), f.c_str())) wanted = true;
    if (wanted) Connect(*c, pad);
}

void OnNoMorePads(GstElement*, gpointer data) {
    auto* c = static_cast<Connection*>(data);
    if (!c->linked) c->build->Fail(Step::kConnect, c->node, "no source pad of this kind", c);
}

// The node an element of the graph belongs to (its own, or the one its
// helper stages serve); -1 for the source, -2 for none. helper: the element
// is a stage in front of the node.
int NodeOfMessage(Build& b, GstObject* source, GstElement* fileSource, bool& helper) {
    helper = false;
    for (GstObject* o = source; o; o = GST_OBJECT_PARENT(o)) {
        if (!GST_IS_ELEMENT(o)) continue;
        if (GST_ELEMENT(o) == fileSource) return -1;
        std::lock_guard<std::mutex> lock(b.mutex);
        if (auto it = b.nodeOf.find(GST_ELEMENT(o)); it != b.nodeOf.end()) return it->second;
        if (auto it = b.helperOf.find(GST_ELEMENT(o)); it != b.helperOf.end()) {
            helper = true;
            return it->second;
        }
    }
    return -2;
}

const char* SinkOverride(ChainKind kind) {
    const char* v = std::getenv(kind == ChainKind::kAudio ? "TORVO_PLAY_AUDIO_SINK" : "TORVO_PLAY_VIDEO_SINK");
    return v && *v ? v : nullptr;
}

}  // namespace

BuiltChain BuildChainPipeline(const ChainBuildRequest& request, uint64_t window, bool forPlaying) {
    BuiltChain out;
    auto build = std::make_unique<Build>();
    Build& b = *build;
    b.filter = request.pinFilter;
    b.pipeline = gst_pipeline_new("chain");
    out.pipeline = b.pipeline;
    if (window) SetOverlayWindow(b.pipeline, window);

    // The source: the file's bytes.
    GstElement* source = gst_element_factory_make("filesrc", nullptr);
    if (!source || ::access(request.file.c_str(), R_OK) != 0) {
        b.report.code = source ? render_codes::kFileNotFound : render_codes::kFail;
        b.Fail(Step::kSource, -1, source ? "the file cannot be read" : "filesrc is not installed");
        if (source) gst_object_unref(source);
        out.report = b.report;
        return out;
    }
    g_object_set(source, "location", request.file.c_str(), nullptr);
    gst_bin_add(GST_BIN(b.pipeline), source);
    GstElement* previous = source;
    GstPad* previousPad = gst_element_get_static_pad(source, "src");

    for (size_t i = 0; i < request.nodes.size() && i < size_t(kGraphNodes) && !b.Failed(); ++i) {
        const ChainBuildNode& node = request.nodes[i];
        const int n = int(i);
        if (node.creation != FilterCreation::kByClass) {
            b.Fail(Step::kCreate, n, "GStreamer has no such wrapper");
            break;
        }
        if (!ParseGuid(node.clsidText)) {
            b.Fail(Step::kClassId, n, "not an element class identifier");
            break;
        }
        GstElement* element = nullptr;
        if (const char* stand = node.renderer ? SinkOverride(request.kind) : nullptr) {
            element = gst_element_factory_make(stand, nullptr);
        } else if (GstElementFactory* factory = FactoryOf(node)) {
            element = gst_element_factory_create(factory, nullptr);
            gst_object_unref(factory);
        }
        if (!element) {
            b.Fail(Step::kCreate, n, "no element of this class is installed");
            break;
        }
        if (!node.graphName.empty()) {
            // The graph's own name for it, unless another element has it already.
            GstElement* same = gst_bin_get_by_name(GST_BIN(b.pipeline), node.graphName.c_str());
            if (same) gst_object_unref(same);
            else gst_object_set_name(GST_OBJECT(element), node.graphName.c_str());
        }
        if (!gst_bin_add(GST_BIN(b.pipeline), element)) {
            gst_object_unref(element);
            b.Fail(Step::kAdd, n, "the pipeline refused the element");
            break;
        }
        {
            std::lock_guard<std::mutex> lock(b.mutex);
            b.nodeOf[element] = n;
        }
        auto c = std::make_unique<Connection>();
        c->build = &b;
        c->node = n;
        c->downstream = element;
        c->sinkPad = FirstPad(element, GST_PAD_SINK, nullptr);
        c->fromDemuxer = previous != source && !previousPad;
        if (node.renderer) {
            // A sink drawing on a display takes only that display's pixel
            // shape: anamorphic pictures (DVD, VCD) are scaled to square pixels.
            if (request.kind == ChainKind::kVideo) c->converters = {"videoconvert", "videoscale"};
            else c->converters = {"audioconvert", "audioresample"};
            if (forPlaying && request.kind == ChainKind::kAudio) c->converters.push_back("volume");
        }
        // The file source's pin goes by the name the texts give it.
        if (n == 0) c->outputPinName = "Src Media";
        if (!c->sinkPad) {
            b.Fail(Step::kConnect, n, "the element has no sink pad", c.get());
            b.connections.push_back(std::move(c));
            break;
        }
        Connection& conn = *c;
        b.connections.push_back(std::move(c));
        if (previousPad) {
            Connect(conn, previousPad);
            gst_object_unref(previousPad);
            previousPad = nullptr;
        } else {
            g_signal_connect(previous, "pad-added", G_CALLBACK(OnPadAdded), &conn);
            g_signal_connect(previous, "no-more-pads", G_CALLBACK(OnNoMorePads), &conn);
        }
        b.report.completedNodes = n + 1;
        if (node.renderer) break;
        // The output pin the chain continues through; a demuxer's appears later.
        previous = element;
        previousPad = FirstPad(element, GST_PAD_SRC, &b.filter);
        if (!previousPad && !HasSometimesSource(element)) {
            b.Fail(Step::kConnect, n + 1, "the element has no source pad");
            break;
        }
    }
    if (previousPad) gst_object_unref(previousPad);
    if (!b.Failed() && request.nodes.empty()) b.Fail(Step::kConnect, 0, "the chain has no elements");

    if (!b.Failed()) {
        // Taking the graph to PAUSED negotiates every connection and prerolls the renderer.
        GstBus* bus = gst_element_get_bus(b.pipeline);
        // A refused state change posts its reason on the bus.
        gst_element_set_state(b.pipeline, GST_STATE_PAUSED);
        const gint64 until = g_get_monotonic_time() + 15 * G_USEC_PER_SEC;
        while (!b.Failed() && !b.report.paused && g_get_monotonic_time() < until) {
            GstMessage* m =
                gst_bus_timed_pop_filtered(bus, 50 * GST_MSECOND, GstMessageType(GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE));
            if (!m) continue;
            if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
                GError* e = nullptr;
                gchar* debug = nullptr;
                gst_message_parse_error(m, &e, &debug);
                std::string text = e ? e->message : "";
                // A streaming error is posted upstream of the connection that refused the data.
                const bool flow = e && e->domain == GST_STREAM_ERROR && e->code == GST_STREAM_ERROR_FAILED;
                if (const char* reason = debug ? std::strstr(debug, "reason ") : nullptr) text += std::string(" (") + reason + ")";
                if (e) g_error_free(e);
                g_free(debug);
                bool helper = false;
                int node = NodeOfMessage(b, GST_MESSAGE_SRC(m), source, helper);
                if (flow && !helper && node + 1 < int(b.connections.size())) node += 1;
                if (node == -1) {
                    b.Fail(Step::kSource, -1, text);
                } else {
                    const int at = node >= 0 ? node : int(b.connections.size()) - 1;
                    const Connection* c = at >= 0 && size_t(at) < b.connections.size() ? b.connections[size_t(at)].get()
                                                                                         : nullptr;
                    b.Fail(Step::kConnect, at, text, c);
                }
            } else if (GST_MESSAGE_SRC(m) == GST_OBJECT(b.pipeline)) {
                b.report.paused = true;
            }
            gst_message_unref(m);
        }
        gst_object_unref(bus);
        if (!b.Failed() && !b.report.paused) {
            b.report.code = render_codes::kTimeout;
            const int last = int(b.connections.size()) - 1;
            b.Fail(Step::kConnect, last, "the chain did not reach the paused state in time",
                   last >= 0 ? b.connections[size_t(last)].get() : nullptr);
        }
    }
    for (const auto& c : b.connections)
        if (c->volume) out.volume = c->volume;
    {
        std::lock_guard<std::mutex> lock(b.mutex);
        out.report = b.report;
        if (b.failed) out.report.paused = false;
    }
    if (!out.report.paused) gst_element_set_state(b.pipeline, GST_STATE_NULL);
    // The connections live as long as the process: the pipeline's streaming
    // threads may still call back into them until it ends.
    (void)build.release();
    return out;
}

int BuildAndReport(const char* requestText) {
    ChainBuildRequest request;
    nlohmann::json line;
    if (!chain_protocol::ParseRequest(requestText, request)) {
        ChainBuildReport bad;
        bad.failedStep = ChainBuildReport::Step::kSource;
        bad.code = render_codes::kFail;
        bad.message = "the chain could not be read";
        line[chain_protocol::kReport] = chain_protocol::ReportJson(bad);
    } else {
        BuiltChain built = BuildChainPipeline(request, 0, false);
        line[chain_protocol::kReport] = chain_protocol::ReportJson(built.report);
        if (built.pipeline) gst_element_set_state(built.pipeline, GST_STATE_NULL);
    }
    const std::string text = line.dump() + "\n";
    size_t at = 0;
    while (at < text.size()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data() + at, text.size() - at);
        if (n <= 0) break;
        at += size_t(n);
    }
    return 0;
}

}  // namespace torvo::render_child
