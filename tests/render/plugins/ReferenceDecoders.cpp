// The decoders a plain uridecodebin run picks for a file, one factory name a
// line: the reference the render test's own description is compared with.
#include <gst/gst.h>

#include <cstdio>
#include <cstring>

namespace {

void OnPadAdded(GstElement*, GstPad* pad, gpointer pipeline) {
    GstElement* sink = gst_element_factory_make("fakesink", nullptr);
    gst_bin_add(GST_BIN(pipeline), sink);
    gst_element_sync_state_with_parent(sink);
    GstPad* sinkPad = gst_element_get_static_pad(sink, "sink");
    gst_pad_link(pad, sinkPad);
    gst_object_unref(sinkPad);
}

void OnElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || GST_IS_BIN(element)) return;  // decodebin itself is no decoder
    const char* klass = gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS);
    if (klass && std::strstr(klass, "Decoder")) std::printf("%s\n", GST_OBJECT_NAME(factory));
}

}  // namespace

int main(int argc, char** argv) {
    gst_init(&argc, &argv);
    if (argc != 2) return 2;
    GstElement* pipeline = gst_pipeline_new(nullptr);
    GstElement* decode = gst_element_factory_make("uridecodebin", nullptr);
    gchar* uri = gst_filename_to_uri(argv[1], nullptr);
    g_object_set(decode, "uri", uri, nullptr);
    g_free(uri);
    gst_bin_add(GST_BIN(pipeline), decode);
    g_signal_connect(decode, "pad-added", G_CALLBACK(OnPadAdded), pipeline);
    g_signal_connect(pipeline, "deep-element-added", G_CALLBACK(OnElementAdded), nullptr);
    gst_element_set_state(pipeline, GST_STATE_PAUSED);
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_ASYNC_DONE | GST_MESSAGE_ERROR));
    const int status = m && GST_MESSAGE_TYPE(m) == GST_MESSAGE_ASYNC_DONE ? 0 : 1;
    if (m) gst_message_unref(m);
    gst_object_unref(bus);
    std::fflush(stdout);
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
    return status;
}
