#pragma once
// A request the server will not serve. The text is the short reason sent back with
// status 500 (the controls recognise only "200 OK" and "500") and logged.
#include <stdexcept>
#include <string>

namespace tx::cms {

class Refused : public std::runtime_error {
public:
    explicit Refused(const std::string &reason) : std::runtime_error(reason) {}
};

} // namespace tx::cms
