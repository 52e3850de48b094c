// A deliberately plain model of install.inf generation, written from its rules
// (not from the program's code) to check the program against.
#pragma once

#include <string>

// The template text that the C runtime delivers for a template file holding
// `fileBytes`, read in text mode, ended at its first NUL.
std::string ModelTemplateText(const std::string& fileBytes);

// The same, as Windows' C runtime delivers it, on any platform.
std::string ModelWindowsTemplateText(const std::string& fileBytes);

// `text` with each placeholder, found left to right without overlap, replaced
// by the path in double quotes.
std::string ModelExpansion(const std::string& text, const std::string& path);

// The bytes that writing `text` in text mode puts into the file.
std::string ModelScriptBytes(const std::string& text);

// The same, as Windows' C runtime writes them, on any platform.
std::string ModelWindowsScriptBytes(const std::string& text);

// The application path that registry data of `dataSize` bytes (the first of
// `data`) gives in a 1000-byte buffer: the text up to its first NUL; data with
// no NUL is text when there is room left to end it. False when it is not text
// that fits.
bool ModelAppPath(const std::string& data, std::size_t dataSize, std::string* path);

// Splits a fuzzer input into an application path (up to 999 bytes, ended at
// its first NUL) and the template file's bytes: two bytes give the path's
// length, then come the path's bytes, then the template's.
void SplitFuzzInput(const unsigned char* data, std::size_t size, std::string* path,
                    std::string* templateBytes);
