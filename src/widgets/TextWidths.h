#pragma once

// The widths of texts in one font, each measured once: a grid that fits a column to
// its widest text looks every row's text up again at each reopening (a search, a
// refresh), and shaping a text costs a thousand times what finding it does.
//
// Texts are found by a 64-bit hash of their UTF-8 in a flat table; two texts of the
// same hash, were there ever any, would share a width.

#include <QByteArrayView>
#include <QFont>
#include <QFontMetrics>

#include <vector>

class TextWidths
{
public:
    // The texts' font; a new one forgets every width measured.
    void setFont(const QFont& font);
    int width(QByteArrayView utf8);

private:
    struct Slot
    {
        quint64 hash = 0; // 0: empty
        int width = 0;
    };
    void grow();

    QFont m_font;
    QFontMetrics m_metrics { QFont() };
    std::vector<Slot> m_slots;
    size_t m_used = 0;
};
