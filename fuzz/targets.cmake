# The fuzz targets: one stage of the analysis each, with the dictionary of its
# format's markers (fuzz/dict) and its seed corpus (fuzz/corpus/<name>).
# MAX_LEN keeps inputs about as large as the structures the stage reads (the
# whole road reaches the CD image structures at 37,657 bytes).
torvo_fuzz_target(identify        DICT identify.dict    MAX_LEN 40960)
torvo_fuzz_target(signature       DICT identify.dict    MAX_LEN 2048)
torvo_fuzz_target(codecdb         DICT codecdb.dict     MAX_LEN 8192)
torvo_fuzz_target(riff            DICT riff.dict        MAX_LEN 8192)
torvo_fuzz_target(mp4qt           DICT mp4.dict         MAX_LEN 16384)
torvo_fuzz_target(flv             DICT flv.dict         MAX_LEN 8192)
torvo_fuzz_target(asf             DICT asf.dict         MAX_LEN 8192)
torvo_fuzz_target(ts              DICT ts.dict          MAX_LEN 9400)
torvo_fuzz_target(mkv             DICT mkv.dict         MAX_LEN 8192)
torvo_fuzz_target(mpeg_audio      DICT mpeg_audio.dict  MAX_LEN 4096)
torvo_fuzz_target(mpeg_video      DICT mpeg_video.dict  MAX_LEN 8192)
torvo_fuzz_target(mpeg_system     DICT mpeg_system.dict MAX_LEN 8192)
torvo_fuzz_target(mpeg_content    DICT mpeg_system.dict MAX_LEN 8192)
torvo_fuzz_target(scan_system     DICT mpeg_system.dict MAX_LEN 8192)
torvo_fuzz_target(scan_elementary DICT mpeg_video.dict  MAX_LEN 4096)
torvo_fuzz_target(scan_avi        DICT riff.dict        MAX_LEN 8192)
# The formats analysed beside AVI, MPEG, MP4, FLV and ASF: each walker alone.
torvo_fuzz_target(ogg             DICT ogg.dict         MAX_LEN 16384)
torvo_fuzz_target(flac            DICT flac.dict        MAX_LEN 8192)
torvo_fuzz_target(aiff            DICT aiff.dict        MAX_LEN 8192)
torvo_fuzz_target(au              DICT au.dict          MAX_LEN 4096)
torvo_fuzz_target(wavpack         DICT wavpack.dict     MAX_LEN 8192)
torvo_fuzz_target(voc             DICT voc.dict         MAX_LEN 8192)
torvo_fuzz_target(rifx            DICT rifx.dict        MAX_LEN 4096)
torvo_fuzz_target(rm              DICT rm.dict          MAX_LEN 16384)
