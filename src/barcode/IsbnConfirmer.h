#pragma once

// When a camera has really read an ISBN: the same ISBN in two decoded frames
// one right after the other. A frame with no ISBN or another one starts the
// count again. The ISBN just taken is not taken again while it stays in front
// of the camera: it counts anew only after a frame without it.

#include <QString>
#include <QStringList>

class IsbnConfirmer
{
public:
    // A decoded frame's ISBNs; the ISBN this frame confirms, or "".
    QString add(const QStringList& isbns);
    void reset();

private:
    QString m_last;
    QString m_taken;
};
