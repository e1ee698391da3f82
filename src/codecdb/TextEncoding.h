// Reading text files that people bring from elsewhere: old ones are in
// Windows-1251, newer ones in UTF-8. Inside the program all text is UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace torvo {

// Every byte of Windows-1251 text as UTF-8. The one byte the code page leaves
// undefined (0x98) becomes U+0098, as web browsers decode it.
std::string Cp1251ToUtf8(std::string_view text);

// UTF-8 text in Windows-1251, for consumers that still expect it. Characters
// the code page lacks become '?'; invalid UTF-8 bytes are kept as they are.
std::string Utf8ToCp1251(std::string_view text);

// The text as it is when it is valid UTF-8 (a leading byte-order mark dropped),
// otherwise read as Windows-1251 and converted.
std::string DecodeExternalText(std::string_view bytes);
// The same without a copy where none is needed: the text is a view of bytes,
// or of converted when it had to be converted.
std::string_view DecodeExternalText(std::string_view bytes, std::string& converted);

}  // namespace torvo
