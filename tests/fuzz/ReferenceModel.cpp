#include "tests/fuzz/ReferenceModel.h"

namespace {

const std::string kPlaceholderText = "VUZAZURAV";

}  // namespace

std::string ModelWindowsTemplateText(const std::string& fileBytes)
{
    // Text mode: Ctrl-Z ends the file; CR LF reads as LF; a lone CR stays.
    const std::string beforeCtrlZ = fileBytes.substr(0, fileBytes.find('\x1A'));
    std::string text;
    for (std::size_t i = 0; i < beforeCtrlZ.size(); ++i) {
        const bool crBeforeLf =
            beforeCtrlZ[i] == '\r' && i + 1 < beforeCtrlZ.size() && beforeCtrlZ[i + 1] == '\n';
        if (!crBeforeLf) {
            text += beforeCtrlZ[i];
        }
    }
    return text.substr(0, text.find('\0'));
}

std::string ModelTemplateText(const std::string& fileBytes)
{
#ifdef _WIN32
    return ModelWindowsTemplateText(fileBytes);
#else
    return fileBytes.substr(0, fileBytes.find('\0'));
#endif
}

std::string ModelExpansion(const std::string& text, const std::string& path)
{
    std::string result;
    std::size_t i = 0;
    while (i < text.size()) {
        if (text.compare(i, kPlaceholderText.size(), kPlaceholderText) == 0) {
            result += '"' + path + '"';
            i += kPlaceholderText.size();
        } else {
            result += text[i];
            i += 1;
        }
    }
    return result;
}

std::string ModelWindowsScriptBytes(const std::string& text)
{
    std::string bytes;
    for (char c : text) {
        bytes += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return bytes;
}

std::string ModelScriptBytes(const std::string& text)
{
#ifdef _WIN32
    return ModelWindowsScriptBytes(text);
#else
    return text;
#endif
}

bool ModelAppPath(const std::string& data, std::size_t dataSize, std::string* path)
{
    const std::size_t bufferSize = 1000;
    if (dataSize > bufferSize) {
        return false;
    }
    const std::string delivered = data.substr(0, dataSize);
    const std::size_t nul = delivered.find('\0');
    if (nul == std::string::npos && dataSize == bufferSize) {
        return false;
    }
    *path = delivered.substr(0, nul);
    return true;
}

void SplitFuzzInput(const unsigned char* data, std::size_t size, std::string* path,
                    std::string* templateBytes)
{
    std::size_t pathLength = 0;
    if (size >= 2) {
        pathLength = (data[0] | static_cast<std::size_t>(data[1]) << 8) % 1000;
        data += 2;
        size -= 2;
    }
    pathLength = pathLength < size ? pathLength : size;
    *path = std::string(reinterpret_cast<const char*>(data), pathLength);
    path->resize(path->find('\0') == std::string::npos ? path->size() : path->find('\0'));
    *templateBytes =
        std::string(reinterpret_cast<const char*>(data) + pathLength, size - pathLength);
}
