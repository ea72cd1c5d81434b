#pragma once

// The six pictures of a paper book: which columns hold them, how the catalogue
// editor reads a stored picture, and how an uploaded picture file is loaded.

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

#include <array>

class RecordSet;

namespace BookPictures {

// One picture slot: its blob column and its format tag column.
struct Slot
{
    const char16_t* blob;
    const char16_t* tag;
};

// In table order: the cover, then illustrations one to five.
inline constexpr std::array<Slot, 6> slotColumns { {
    { u"facepic", u"格式" },
    { u"pic1", u"格式1" },
    { u"pic2", u"格式2" },
    { u"pic3", u"格式3" },
    { u"pic4", u"格式4" },
    { u"pic5", u"格式5" },
} };

// The order in which a record change shows the slots: illustration 1, the cover, then 2 to 5.
inline constexpr std::array<int, 6> refreshOrder { 1, 0, 2, 3, 4, 5 };

// A stored picture decoded for a panel, or the decoder's error text.
struct Decoded
{
    QImage image; // null: the panel stays empty
    QString error; // not empty: the picture could not be decoded
};

// The editor's rule, exact in letter case: "bmp" a BMP file, "jpg" a JPEG file, the
// lower-case name of another readable type ("png", "ico"...) a file of that type;
// any other tag, "JPG" and "BMP" included, shows nothing. An empty blob shows nothing
// without an error. JPEG is decoded at the smallest scale that still covers `panel`.
// Safe to call from any thread.
// Whether the editor shows a picture under this tag (the rule above).
bool isShown(const QString& tag);

Decoded decodeStored(const QString& tag, const QByteArray& bytes, QSize panel);

// The libjpeg error as the user is told it.
QString jpegErrorText(int code);

// A picture file loaded for a slot: the bytes to store, the tag to write, and the
// picture for the panel.
struct Upload
{
    QByteArray bytes;
    QString tag;
    QImage image;
};

// Loads a picture file by the loader for its extension. JPEG (.jpg, .jpeg) is stored
// as the file's bytes and tagged "jpg"; BMP is written back as a complete BMP file and
// tagged "bmp" (the extension test ignores case); another readable type is stored as
// its file and tagged with the type its contents turned out to be. Throws Exception
// with the loader's text when the file cannot be loaded.
Upload loadFile(const QString& path, QSize panel);

// The extension of a path as the loader sees it: from the last dot after the last
// separator, dot included; empty when there is none.
QString extension(const QString& path);

// The file-type list of the open-picture dialog; the first entry holds every type.
QString fileFilter();

// Writes the current row, and for the cover also its shelf thumbnail, so the shelf
// never has to decode a cover uploaded through the editor.
void postUpload(RecordSet& books, int slot, const QString& tag, const QByteArray& bytes);

} // namespace BookPictures
