#include "cms/ContentType.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace tx::cms {

std::string contentTypeFor(std::string_view fileName)
{
    static const std::pair<std::string_view, std::string_view> types[] = {
        {"jpg", "image/jpeg"}, {"jpeg", "image/jpeg"}, {"jpe", "image/jpeg"},
        {"png", "image/png"}, {"gif", "image/gif"}, {"bmp", "image/bmp"},
        {"webp", "image/webp"}, {"ico", "image/x-icon"}, {"svg", "image/svg+xml"},
        {"txt", "text/plain"}, {"htm", "text/html"}, {"html", "text/html"},
        {"css", "text/css"}, {"js", "text/javascript"}, {"json", "application/json"},
        {"xml", "application/xml"}, {"pdf", "application/pdf"}, {"zip", "application/zip"},
        {"doc", "application/msword"}, {"xls", "application/vnd.ms-excel"},
        {"ppt", "application/vnd.ms-powerpoint"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"mp3", "audio/mpeg"}, {"mp4", "video/mp4"}, {"wav", "audio/wav"},
    };
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return "application/octet-stream";
    std::string ext(fileName.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    for (const auto &[e, type] : types)
        if (e == ext)
            return std::string(type);
    return "application/octet-stream";
}

} // namespace tx::cms
