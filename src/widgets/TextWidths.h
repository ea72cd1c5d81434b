#pragma once

// The widths of texts in one font, each measured once: a grid that fits a column to
// its widest text looks every row's text up again at each reopening (a search, a
// refresh), and shaping a text costs a thousand times what finding it does.
//
// Texts are found by a hash of their UTF-8 in a flat table; two texts of the same
// 48-bit hash, were there ever any, would share a width.

#include <QByteArrayView>
#include <QFont>
#include <QFontMetricsF>

#include <vector>

class TextWidths
{
public:
    // The texts' font; a new one forgets every width measured.
    void setFont(const QFont& font);
    int width(QByteArrayView utf8);

private:
    // A text's hash (its top 48 bits; 0: an empty slot) and its width (the low
    // 16 bits) in eight bytes: a thousand titles' widths stay in a few pages.
    using Slot = quint64;
    void grow();

    QFont m_font;
    QFontMetricsF m_metrics { QFont() };
    std::vector<Slot> m_slots;
    size_t m_used = 0;
};
