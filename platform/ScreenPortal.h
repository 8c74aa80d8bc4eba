#pragma once
// The desktop's screenshot portal, for sessions whose compositor hands no screen
// to its clients: one non-interactive Screenshot request over the session bus.
#include <QImage>
#include <QString>

class QObject;

namespace tx::screen::portal {

enum class Outcome {
    Picture,   // `image` holds what the desktop saved
    Refused,   // the person or the desktop said no
    Missing,   // no session bus, no portal service, or one without Screenshot
    NoAnswer,  // nothing came back within the answer time
    Failed,    // an answer that gave no usable picture
    Abandoned, // `owner` was released while the request waited
};

struct Result {
    Outcome outcome = Outcome::Failed;
    QImage image;
    QString why; // for everything but Picture: the reason, for a person
};

// Sends the request and waits for its answer, pumping events, for at most the
// answer time (300 ticks); the wait ends early once `owner` (the control) is
// released. The picture file the desktop names is read and then removed.
Result request(const QObject *owner);

// The reasons given to a person.
QString refusedText();
QString missingText();

} // namespace tx::screen::portal
