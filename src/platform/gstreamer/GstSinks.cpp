#include "platform/gstreamer/GstSinks.h"

#include <gst/gst.h>

#include <cstring>

#include "platform/gstreamer/DisplayProbe.h"

namespace torvo {

DisplayServer CGstSinkProbe::AnsweringDisplayServer() { return ProbeDisplayServer(); }

bool CGstSinkProbe::SinkOpens(const std::string& factory) {
    if (auto known = opens_.find(factory); known != opens_.end()) return known->second;
    bool opens = false;
    // A display server whose last client just left resets itself and refuses
    // connections for a moment: a second try after a pause tells that apart
    // from a sink that cannot work here.
    for (int attempt = 0; attempt < 2 && !opens; ++attempt) {
        if (attempt > 0) g_usleep(150 * 1000);
        GstElement* sink = gst_element_factory_make(factory.c_str(), nullptr);
        if (!sink) break;
        // The ready state is where a sink connects to its display or sound server.
        opens = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
        gst_element_set_state(sink, GST_STATE_NULL);
        gst_object_unref(sink);
    }
    opens_[factory] = opens;
    return opens;
}

std::vector<std::string> InstalledSinkFactories() {
    std::vector<std::string> names;
    GList* features = gst_registry_get_feature_list(gst_registry_get(), GST_TYPE_ELEMENT_FACTORY);
    for (GList* l = features; l; l = l->next) {
        auto* factory = GST_ELEMENT_FACTORY(l->data);
        const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
        if (!klass || !std::strstr(klass, "Sink") || (!std::strstr(klass, "Video") && !std::strstr(klass, "Audio")))
            continue;
        names.emplace_back(gst_plugin_feature_get_name(GST_PLUGIN_FEATURE(factory)));
    }
    gst_plugin_feature_list_free(features);
    return names;
}

DefaultSinkChoice GstDefaultSinks() {
    CGstSinkProbe probe;
    return ChooseDefaultSinks(probe, InstalledSinkFactories());
}

}  // namespace torvo
