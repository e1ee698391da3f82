#include "records/SignatureTable.h"
#include "base/Translate.h"

namespace torvo {
namespace {

// Patterns that hold NUL bytes are written with explicit lengths; '?' is a wildcard.
constexpr SignatureRow kRows[] = {
    {"RIFF????AVI ", 0, 12, "AVI(.AVI)", "video/x-msvideo", 2},
    {"RIFF????WAVE", 0, 12, "WAVE(.WAV)", "audio/wav", 3},
    {"RIFF????RMID", 0, 12, "RIFF wrapped MIDI", "audio/midi", 4},
    {"RIFF????CDXA", 0, 12, "CDXA wrapper", N_("н.д."), 5},
    {"RIFF", 0, 4, N_("файл формата RIFF, тип не знаю"), N_("н.д."), 6},
    {"\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 0, 16, "ASF (.WMA/.WMV)", "video/x-ms-asf", 7},
    {"\xFF\xFD", 0, 2, "MPEG1/MPEG2 (.MP2/.MPA)", "audio/mpeg", 8},
    {"moov????cmov????dcomzlib", 4, 24, "QuickTime, zlib compressed (.MOV)", "video/quicktime", 15},
    {"moov????cmov????dcom", 4, 20, "QuickTime, compressed (.MOV)", "video/quicktime", 16},
    {"moov", 4, 4, "QuickTime (.MOV)", "video/quicktime", 14},
    {"mdat", 4, 4, "QuickTime (.MOV)", "video/quicktime", 14},
    {"free", 4, 4, "QuickTime (.MOV)", "video/quicktime", 14},
    {"wide", 4, 4, "QuickTime (.MOV)", "video/quicktime", 14},
    {"pnot", 4, 4, "QuickTime w/ image preview (.MOV)", "video/quicktime", 17},
    {"\x00\x00\x01\xBA", 0, 4, "MPEG (.MPG/.MPEG/.VOB)", "video/mpeg", 18},
    {"\x00\x00\x01\xB3", 0, 4, "MPEG (.MPG/.MPEG/.VOB)", "video/mpeg", 18},
    {".RMF", 0, 4, "RealMedia (.RM)", "application/vnd.rn-realmedia", 19},
    {".ra", 0, 3, "RealAudio (.RA)", "audio/x-pn-realaudio", 20},
    {"FWS", 0, 3, "Shockwave/Flash (.SWF)", "application/x-shockwave-flash", 21},
    {"MZ", 0, 2, N_("Исполнимый (.EXE)"), "application/OCTET-STREAM", 22},
    {"Rar!", 0, 4, N_("Архив RAR(.RAR)"), "application/x-rar-compressed", 23},
    {"\x50\x4B\x03\x04", 0, 4, N_("Архив ZIP(.ZIP)"), "application/zip", 24},
    {"BZh91AY&SY", 0, 10, N_("Bzip 2 - сжатый файл UNIX  "), "application/bzip2", 25},
    {"\x37\x7A\xBC\xAF\x27\x1C", 0, 6, "7-Zip Archive (.7z)", "application/x-7z-compressed", 26},
    {"http://", 0, 7, "URL link (text)", N_("н.д."), 27},
    {"OggS", 0, 4, "Ogg Media", "application/x-ogg", 28},
    {"Vivo", 13, 4, "Vivo(.VIV)", "video/vnd.vivo", 29},
    {"MThd", 0, 4, "MIDI (.MID)", "audio/x-aiff", 30},
    {"FORM????AIFF", 0, 12, N_("Звук AIFF  (.AIF)"), "audio/x-aiff", 30},
    {"FORM????AIFC", 0, 12, N_("Звук AIFF-C  (.AIF)"), "audio/midi", 31},
    {".snd", 0, 4, N_("Звук NeXT/SUN  (.AU/.SND)"), "audio/basic", 32},
    {"CD001", 37657, 5, N_("Образ CD-ROM ISO9660 (.ISO/.BIN)"), N_("н.д."), 33},
    {"\x4D\x50\x2B\x07", 0, 4, N_("Звук MPC  (.MPC)"), "audio/x-musepack", 34},
    {"<asx", 0, 4, N_("ASX (не кино, лишь ярлык)"), "video/x-ms-asf", 35},
    {"<ASX", 0, 4, N_("ASX (не кино, лишь ярлык)"), "video/x-ms-asf", 35},
    {"\x89\x50\x4E\x47\x0D\x0A\x1A\x0A", 0, 8, "PNG image (.PNG)", "image/png", 36},
    {"GIF87a", 0, 6, "GIF image (.GIF)", "image/gif", 37},
    {"GIF89a", 0, 6, "GIF image (.GIF)", "image/gif", 37},
    {"\xFF\xD8\xFF", 0, 3, "JPEG image (.JPG/JPEG/JPE)", "image/jpeg", 38},
    {"\xD7\xCD\xC6\x9A", 0, 4, N_("Рисунок Windows MetaFil(.WMF)"), "windows/metafile", 39},
    {"DVDVIDEO-VMG", 0, 12, N_("Файл DVD VMGI(VIDEO_TS.IFO/.BUP)"), N_("н.д."), 40},
    {"DVDVIDEO-VTS", 0, 12, N_("Файл DVD VTSI(VTS_XX_O.IFO/.BUP)"), N_("н.д."), 41},
    {"FWS6", 0, 4, "Shockwave/Flash 6 (.SWF)", "application/x-shockwave-flash", 42},
    {"CWS6", 0, 4, "Shockwave/Flash 6 (.SWF)", "application/x-shockwave-flash", 42},
    {"FWS", 0, 3, "Shockwave/Flash (.SWF)", "application/x-shockwave-flash", 42},
    {"CWS", 0, 3, "Shockwave/Flash (.SWF)", "application/x-shockwave-flash", 42},
    {"ftypqt  ", 4, 8, "QuickTime (.MOV)", "video/quicktime", 14},
    {"ftyp", 4, 4, N_("Неопределенный файл MP4     "), "-", 47},
    {"matroska", 8, 8, N_("Видеозапись Matroska(.MKV)"), "video/x-matroska", 49},
    {"W?u6", 4, 4, "iTunes audiobook ??", N_("н.д."), 48},
    {"ADIF", 0, 4, "Elementary AAC Audio, ADIF hdr", "audio/mpeg", 13},
    {"wvpk", 0, 4, "Raw WavPack Lossless Audio (.WV)", "audio/x-wavpack", 50},
    {"FLV", 0, 3, N_("Видео флэш  (.FLV)"), "video/x-flv", 52},
    {"%PDF-1.0", 0, 8, "Adobe PDF v1.0 (.PDF)", "application/pdf", 55},
    {"%PDF-1.1", 0, 8, "Adobe PDF v1.1 (.PDF)", "application/pdf", 55},
    {"%PDF-1.2", 0, 8, "Adobe PDF v1.2 (.PDF)", "application/pdf", 55},
    {"%PDF-1.3", 0, 8, "Adobe PDF v1.3 (.PDF)", "application/pdf", 55},
    {"%PDF-1.4", 0, 8, "Adobe PDF v1.4 (.PDF)", "application/pdf", 55},
    {"%PDF-1.5", 0, 8, "Adobe PDF v1.5 (.PDF)", "application/pdf", 55},
    {"%PDF", 0, 4, "Adobe PDF (.PDF)", "application/pdf", 55},
    {"\x1F\x8B", 0, 2, "UNIX GZIP compressed (.GZ)", "application/x-gzip", 56},
    {"Creative Voice", 0, 14, N_("Файл Creative Voice (.VOC)"), "audio/x-voc", 57},
    {"FORM????WVQA", 0, 12, N_("Видео Westwood Studios (.VQA)"), N_("н.д."), 58},
    {"TWIN", 0, 4, N_("Звук Yamaha TwinVQ  (.VQF)"), "audio/x-twinvq", 59},
    {"\x2E\x03", 0, 2, N_("Видео и музыка от Sierra(.VMD)"), N_("н.д."), 60},
    {"SMK", 0, 3, N_("Видеозапись Smacker   (.SMK)"), N_("н.д."), 61},
    {"fLaC", 0, 4, N_("FLAC [звук без потерь](.FLAC)"), "audio/x-flac", 62},
    {"\x11\xAF", 4, 2, "FLI Autodesk Animator (.FLI)", "video/x-fli", 63},
    {"\x12\xAF", 4, 2, N_("Анимация FLC/FLX  (.FLC/.FLX)"), "video/x-flc", 64},
    {"\x44\xAF", 4, 2, "FLIC Animation, >8b/p(.FLC)", "video/x-flc", 65},
    {"\x30\xAF", 4, 2, "FLIC Animation, >8b/p(.FLC)", "video/x-flc", 65},
    {"\x31\xAF", 4, 2, "FLIC Animation, >8b/p(.FLC)", "video/x-flc", 65},
    {"\x61\x6A\x6B\x67\x02\xFB", 0, 6, "Shorten Lossless Audio (.SHN)", "audio/x-shn", 66},
    {"LPAC", 0, 4, "LPAC Lossless Audio (.PAC)", "audio/x-lpac", 67},
    {"LA04", 0, 4, "LA Lossless Audio v0.4 (.LA)", "audio/x-la", 68},
    {"LA??????WAVE", 0, 12, "LA Lossless Audio (.LA)", "audio/x-la", 68},
    {"MAC ", 0, 4, "Monkey's Lossless Audio(.APE)", "audio/x-ape", 69},
    {"\x4F\x46\x52\x20\x0F\x00\x00\x00", 0, 8, "OptimFROG Lossless Audio(.OFR)", "audio/x-ofr", 70},
    {"RKA6", 0, 4, "RKAU v1.06 Audio (.RKA)", "audio/x-rkau", 71},
    {"RKA7", 0, 4, "RKAU v1.07 Audio (.RKA)", "audio/x-rkau", 71},
    {"RKA", 0, 3, "RKAU Compressed Audio (.RKA)", "audio/x-rkau", 71},
    {"TTA1", 0, 4, "TrueAudio Lossless v1.x (.TTA)", "audio/x-tta", 72},
    {"TTA", 0, 3, "TrueAudio Lossless Audio (.TTA)", "audio/x-tta", 72},
    {"MCF - ", 0, 6, N_("Формат медиаконтейнера (.MCF)"), N_("не знаю"), 73},
    {"ON2 ", 0, 4, "ON2 VP5[non-comp AVI-like](.VP5)", N_("не знаю"), 74},
    {"NSVf", 0, 4, N_("Видео Nullsoft+метаданные (.NSV)"), "video/nsv", 75},
    {"NSVs", 0, 4, N_("Видео Nullsoft(.NSV)"), "video/nsv", 75},
    {"[playlist]", 0, 10, N_("Список аудио формата PLS (.PLS)"), "audio/x-scpls", 76},
    {"<html>", 0, 6, "HTML Document(.HTML)", "text/html", 77},
    {"<?xml", 0, 5, "XML Document(.XML)", "application/xhtml+xml", 78},
    {"<smil>", 0, 6, "SMIL v1.x Document(.SMIL)", "application/smil", 79},
    {"#EXTM3U", 0, 7, "Extended M3U Playlist(.M3U)", "audio/x-mpegurl", 80},
    {"[Metadata]", 0, 10, N_("Список Kazaa  (.KPS)"), N_("Не знаю"), 81},
    {"#!AMR.4", 0, 7, "Adaptive Multi-Rate ACELP(.AMR)", "audio/AMR", 82},
    {"BM????\x00\x00\x00\x00", 0, 10, N_("Рисунок Bitmap (.BMP)      "), "image/bmp", 83},
    {"\xD4\xE0\xE9\xEB\x20\x4E\x58\x56", 0, 8, N_("Файл Brando MP4 Watch (.NXV)"), N_("н.д."), 84},
    {"DGIndex", 0, 7, N_("DGMPGDec / Файл DGIndex (.D2V)"), N_("н.д."), 85},
    {"DVD2AVIProject", 0, 14, N_("Файл проекта DVD2AVI (.D2V)"), N_("н.д."), 85},
    // Types decided by content: reached only through RowForType.
    {"", 0, 0, "Raw DV - IEC 61834 (.DV)", "video/DV", 53},
    {"", 0, 0, "Raw DV - SMPTE 314M(.DV)", "video/DV", 54},
    {"", 0, 0, N_("Элементный звук AAC,  ADTS hdrs"), "audio/mpeg", 12},
    {"", 0, 0, N_("Элементный звук AC3 "), "audio/x-ac3", 10},
    {"", 0, 0, N_("Элементный звук DTS "), N_("н.д."), 11},
    {"", 0, 0, N_("Не знаю"), N_("Не знаю"), 0},
    {"", 0, 0, N_("Транспортн.поток MPEG-2"), "video/mp2t", 86},
    {nullptr, 0, 0, nullptr, nullptr, -1},
};

static_assert(std::size(kRows) == 106, "105 rows and the terminator");

}  // namespace

std::span<const SignatureRow> SignatureRows() { return {kRows, std::size(kRows) - 1}; }

bool RowMatches(const SignatureRow& row, ByteView header) {
    if (!row.pattern || row.length == 0) return false;
    const ByteView bytes = header.Sub(row.offset, row.length);
    if (bytes.empty()) return false;
    for (uint32_t i = 0; i < row.length; ++i)
        if (row.pattern[i] != '?' && static_cast<uint8_t>(row.pattern[i]) != bytes.U8(i)) return false;
    return true;
}

const SignatureRow* RowForType(int32_t typeId) {
    for (const SignatureRow& row : SignatureRows())
        if (row.typeId == typeId) return &row;
    return nullptr;
}

}  // namespace torvo
