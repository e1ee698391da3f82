#include "platform/gstreamer/render/PlayChild.h"

#include <gst/gst.h>
#include <gst/video/videooverlay.h>
#include <poll.h>
#include <unistd.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "platform/gstreamer/GstSinks.h"
#include "platform/gstreamer/render/ChainChild.h"
#include "platform/gstreamer/render/ChainProtocol.h"
#include "base/Translate.h"

namespace torvo::render_child {
namespace {

void Print(const nlohmann::json& j) {
    const std::string text = j.dump() + "\n";
    const char* at = text.c_str();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDOUT_FILENO, at, left);
        if (n <= 0) return;
        at += n;
        left -= size_t(n);
    }
}

// The sink this machine's inventory names as its renderer (or the stand-in
// of the environment); a fake one that keeps the clock when there is none or
// it does not open (a sound card that is not there: the picture still plays,
// and the parent is told that the sound is not heard).
struct SinkPick {
    GstElement* element = nullptr;
    std::string wanted;    // the factory asked for; empty when the machine has none
    bool standIn = false;  // a fakesink took its place
};

SinkPick Sink(const std::string& factory) {
    SinkPick pick{nullptr, factory, true};
    if (!factory.empty()) {
        if (GstElement* sink = gst_element_factory_make(factory.c_str(), nullptr)) {
            if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
                gst_element_set_state(sink, GST_STATE_NULL);
                pick.element = sink;
                pick.standIn = false;
                return pick;
            }
            gst_object_unref(sink);
        }
    }
    pick.element = gst_element_factory_make("fakesink", nullptr);
    g_object_set(pick.element, "sync", TRUE, nullptr);
    return pick;
}

guint64 g_window = 0;

GstBusSyncReply SyncHandler(GstBus*, GstMessage* message, gpointer) {
    if (g_window && gst_is_video_overlay_prepare_window_handle_message(message)) {
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(GST_MESSAGE_SRC(message)), guintptr(g_window));
        gst_message_unref(message);
        return GST_BUS_DROP;
    }
    return GST_BUS_PASS;
}

int64_t Duration(GstElement* playbin) {
    gint64 d = 0;
    return gst_element_query_duration(playbin, GST_FORMAT_TIME, &d) && d > 0 ? d / 100 : 0;
}

int64_t Position(GstElement* playbin) {
    gint64 p = 0;
    return gst_element_query_position(playbin, GST_FORMAT_TIME, &p) && p > 0 ? p / 100 : 0;
}

void PrintError(GstMessage* m) {
    GError* e = nullptr;
    gst_message_parse_error(m, &e, nullptr);
    Print({{"error", {{"message", e ? e->message : ""}}}});
    if (e) g_error_free(e);
}

// Drains the bus; false after an error.
bool PumpBus(GstBus* bus, bool* prerolled) {
    while (GstMessage* m = gst_bus_pop(bus)) {
        bool ok = true;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
            PrintError(m);
            ok = false;
        } else if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE && prerolled) {
            *prerolled = true;
        } else if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_EOS) {
            Print({{"eos", true}});
        }
        gst_message_unref(m);
        if (!ok) return false;
    }
    return true;
}

bool Command(GstElement* playbin, GstElement* volume, const std::string& line) {
    char verb[16] = {0};
    long long a = 0, b = 0;
    const int n = std::sscanf(line.c_str(), "%15s %lld %lld", verb, &a, &b);
    if (n < 1) return true;
    const std::string v = verb;
    if (v == "run") gst_element_set_state(playbin, GST_STATE_PLAYING);
    else if (v == "pause" || v == "stop") gst_element_set_state(playbin, GST_STATE_PAUSED);
    else if (v == "seek" && n >= 2) {
        const auto flags = GstSeekFlags(GST_SEEK_FLAG_FLUSH | (b ? GST_SEEK_FLAG_KEY_UNIT : 0));
        gst_element_seek_simple(playbin, GST_FORMAT_TIME, flags, gint64(a) * 100);
    } else if (v == "volume" && n >= 2) {
        if (volume) g_object_set(volume, "volume", std::pow(10.0, double(a) / 2000.0), nullptr);
    } else if (v == "quit") {
        return false;
    }
    return true;
}

// Obeys the commands and reports the status until told to quit or the
// parent goes away; the pipeline is prerolled.
int RunPlayer(GstElement* pipeline, GstElement* volume, nlohmann::json ready = {}) {
    GstBus* bus = gst_element_get_bus(pipeline);
    if (!ready.is_object()) ready = {{"duration", Duration(pipeline)}};
    Print({{"ready", ready}});
    bool ok = true;
    std::string pending;
    while (ok) {
        pollfd p{STDIN_FILENO, POLLIN, 0};
        const int polled = ::poll(&p, 1, 100);
        if (polled > 0) {
            char buffer[4096];
            const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
            if (n <= 0) break;  // the parent went away
            pending.append(buffer, size_t(n));
            for (size_t end; ok && (end = pending.find('\n')) != std::string::npos;) {
                ok = Command(pipeline, volume, pending.substr(0, end));
                pending.erase(0, end + 1);
            }
        }
        if (!PumpBus(bus, nullptr)) break;
        GstState state = GST_STATE_NULL;
        gst_element_get_state(pipeline, &state, nullptr, 0);
        Print({{"status",
                {{"position", Position(pipeline)}, {"duration", Duration(pipeline)}, {"playing", state == GST_STATE_PLAYING}}}});
    }
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return 0;
}

}  // namespace

void SetOverlayWindow(GstElement* pipeline, uint64_t window) {
    g_window = window;
    GstBus* bus = gst_element_get_bus(pipeline);
    gst_bus_set_sync_handler(bus, SyncHandler, nullptr, nullptr);
    gst_object_unref(bus);
}

int PlayFile(const char* path, uint64_t window) {
    g_window = window;
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    gchar* uri = playbin ? gst_filename_to_uri(path, nullptr) : nullptr;
    if (!uri) {
        Print({{"error", {{"message", playbin ? N_("Файл не найден.") : N_("Элемент playbin не установлен.")}}}});
        return 0;
    }
    g_object_set(playbin, "uri", uri, nullptr);
    g_free(uri);
    const DefaultSinkChoice sinks = GstDefaultSinks();
    const SinkPick audio = Sink(PlayAudioSink(sinks));
    g_object_set(playbin, "video-sink", Sink(window ? PlayVideoSink(sinks) : std::string()).element, "audio-sink",
                 audio.element, nullptr);
    GstBus* bus = gst_element_get_bus(playbin);
    gst_bus_set_sync_handler(bus, SyncHandler, nullptr, nullptr);

    bool prerolled = false, ok = true;
    if (gst_element_set_state(playbin, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) ok = false;
    const gint64 until = g_get_monotonic_time() + 15 * G_USEC_PER_SEC;
    while (ok && !prerolled && g_get_monotonic_time() < until) {
        GstMessage* m = gst_bus_timed_pop_filtered(bus, 100 * GST_MSECOND,
                                                   GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
        if (!m) continue;
        if (GST_MESSAGE_TYPE(m) == GST_MESSAGE_ERROR) {
            PrintError(m);
            ok = false;
        } else {
            prerolled = true;
        }
        gst_message_unref(m);
    }
    if (ok && !prerolled) {
        Print({{"error", {{"message", N_("Файл не подготовился к воспроизведению за 15 секунд.")}}}});
        ok = false;
    }
    if (!ok) {
        gst_object_unref(bus);
        gst_element_set_state(playbin, GST_STATE_NULL);
        gst_object_unref(playbin);
        return 0;
    }
    gst_object_unref(bus);
    nlohmann::json ready{{"duration", Duration(playbin)}};
    gint audioStreams = 0;
    g_object_get(playbin, "n-audio", &audioStreams, nullptr);
    if (audio.standIn && audioStreams > 0) ready["silent"] = {{"sink", audio.wanted}};
    return RunPlayer(playbin, playbin, ready);
}

int PlayChain(const char* requestText, uint64_t window) {
    ChainBuildRequest request;
    if (!chain_protocol::ParseRequest(requestText, request)) {
        Print({{"error", {{"message", N_("Цепочку не удалось прочесть.")}}}});
        return 0;
    }
    BuiltChain built = BuildChainPipeline(request, window, true);
    if (!BuildSucceeded(built.report)) {
        Print({{"error", {{"message", built.report.message.empty() ? N_("Цепочку не удалось собрать.") : built.report.message}}}});
        if (built.pipeline) {
            gst_element_set_state(built.pipeline, GST_STATE_NULL);
            gst_object_unref(built.pipeline);
        }
        return 0;
    }
    return RunPlayer(built.pipeline, built.volume);
}

}  // namespace torvo::render_child
