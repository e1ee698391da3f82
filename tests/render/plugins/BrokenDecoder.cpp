// A test-only GStreamer plugin: an MPEG-4 video decoder ranked above every
// real one that misbehaves on its first buffer. Built twice: with
// TORVO_BROKEN_CRASH it dereferences null, otherwise it never returns.
#include <gst/gst.h>

#include <thread>

#ifdef TORVO_BROKEN_CRASH
#define BROKEN_NAME "torvocrashdec"
#define BROKEN_PLUGIN torvocrash
#else
#define BROKEN_NAME "torvohangdec"
#define BROKEN_PLUGIN torvohang
#endif

namespace {

struct BrokenDecoder {
    GstElement parent;
    GstPad* sink;
    GstPad* src;
};
struct BrokenDecoderClass {
    GstElementClass parent;
};

GType broken_decoder_get_type();
G_DEFINE_TYPE(BrokenDecoder, broken_decoder, GST_TYPE_ELEMENT)

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("video/mpeg, mpegversion=(int)4, systemstream=(boolean)false"));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS("video/x-raw, format=(string)I420"));

GstFlowReturn Chain(GstPad*, GstObject*, GstBuffer* buffer) {
    gst_buffer_unref(buffer);
#ifdef TORVO_BROKEN_CRASH
    volatile int* nowhere = nullptr;
    *nowhere = 1;
#else
    for (;;) std::this_thread::sleep_for(std::chrono::seconds(1));
#endif
    return GST_FLOW_OK;
}

void broken_decoder_class_init(BrokenDecoderClass* klass) {
    auto* element = GST_ELEMENT_CLASS(klass);
    gst_element_class_add_static_pad_template(element, &sinkTemplate);
    gst_element_class_add_static_pad_template(element, &srcTemplate);
    gst_element_class_set_static_metadata(element, "Broken MPEG-4 decoder (tests)", "Codec/Decoder/Video",
                                          "Misbehaves on its first buffer", "Torvo tests");
}

void broken_decoder_init(BrokenDecoder* self) {
    self->sink = gst_pad_new_from_static_template(&sinkTemplate, "sink");
    gst_pad_set_chain_function(self->sink, Chain);
    GST_PAD_SET_PROXY_CAPS(self->sink);
    gst_element_add_pad(GST_ELEMENT(self), self->sink);
    self->src = gst_pad_new_from_static_template(&srcTemplate, "src");
    gst_element_add_pad(GST_ELEMENT(self), self->src);
}

gboolean PluginInit(GstPlugin* plugin) {
    return gst_element_register(plugin, BROKEN_NAME, GST_RANK_PRIMARY + 1000, broken_decoder_get_type());
}

}  // namespace

#define PACKAGE "torvo-tests"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, BROKEN_PLUGIN, "Test-only broken decoder", PluginInit, "1.0",
                  "LGPL", "torvo-tests", "https://example.invalid/")
