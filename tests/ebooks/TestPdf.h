#pragma once

// Test PDFs written by hand, so that tests carry no files of their own.

#include <QByteArray>
#include <QCryptographicHash>

#include <array>
#include <numeric>
#include <optional>
#include <vector>

namespace {

// ---- A small PDF writer for the fixtures --------------------------------
// Pages of 300 x 400 points, each filled mostly by a blue rectangle, an
// optional outline with one entry per page, and optional encryption by the
// standard security handler, revision 2 (RC4 with a 40-bit key).

const QByteArray Padding = QByteArray::fromHex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A");
const QByteArray DocumentId = QByteArray::fromHex("0123456789ABCDEF0123456789ABCDEF");

QByteArray md5(const QByteArray& data)
{
    return QCryptographicHash::hash(data, QCryptographicHash::Md5);
}

QByteArray rc4(const QByteArray& key, QByteArray data)
{
    std::array<quint8, 256> s;
    std::iota(s.begin(), s.end(), 0);
    for (int i = 0, j = 0; i < 256; ++i) {
        j = (j + s[i] + quint8(key[i % key.size()])) & 0xff;
        std::swap(s[i], s[j]);
    }
    for (int n = 0, i = 0, j = 0; n < data.size(); ++n) {
        i = (i + 1) & 0xff;
        j = (j + s[i]) & 0xff;
        std::swap(s[i], s[j]);
        data[n] = char(quint8(data[n]) ^ s[(s[i] + s[j]) & 0xff]);
    }
    return data;
}

// The /O and /U entries and the file key for a user password; permissions -4.
struct Security
{
    explicit Security(const QByteArray& userPassword)
    {
        const QByteArray user = (userPassword + Padding).left(32);
        owner = rc4(md5((QByteArray("owner-secret") + Padding).left(32)).left(5), user);
        fileKey = md5(user + owner + QByteArray::fromHex("FCFFFFFF") + DocumentId).left(5);
        check = rc4(fileKey, Padding);
    }

    // Strings and streams are encrypted with their object's own key.
    QByteArray objectKey(int object) const
    {
        const char number[] = { char(object & 0xff), char((object >> 8) & 0xff), char((object >> 16) & 0xff), 0, 0 };
        return md5(fileKey + QByteArray(number, 5)).left(10);
    }

    QByteArray owner, fileKey, check;
};

// Pages with an outline entry "Chapter n" each; encrypted when given a user password.
// catalogue: more entries of the document catalogue (such as its /PageLabels).
QByteArray makePdf(
    int pages, const std::optional<QByteArray>& userPassword = std::nullopt, const QByteArray& catalogue = {})
{
    const std::optional<Security> security
        = userPassword ? std::optional<Security>(std::in_place, *userPassword) : std::nullopt;
    auto protect
        = [&](int object, const QByteArray& data) { return security ? rc4(security->objectKey(object), data) : data; };
    auto ref = [](int object) { return QByteArray::number(object) + " 0 R"; };

    // Objects: 1 catalogue, 2 page tree, 3 outline root, then per page: page,
    // contents, outline entry; finally the encryption dictionary.
    auto pageObject = [](int page) { return 4 + 3 * page; };
    std::vector<QByteArray> objects(size_t(pageObject(pages)) + 1);
    objects[1] = "<< /Type /Catalog /Pages 2 0 R /Outlines 3 0 R " + catalogue + " >>";
    QByteArray kids;
    for (int page = 0; page < pages; ++page)
        kids += ref(pageObject(page)) + ' ';
    objects[2] = "<< /Type /Pages /Kids [" + kids + "] /Count " + QByteArray::number(pages) + " >>";
    objects[3] = "<< /Type /Outlines /First " + ref(6) + " /Count " + QByteArray::number(pages) + " >>";
    for (int page = 0; page < pages; ++page) {
        const int object = pageObject(page);
        objects[object] = "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Contents " + ref(object + 1) + " >>";
        const QByteArray content = protect(object + 1, "0.1 0.3 0.9 rg 20 20 260 360 re f\n");
        objects[object + 1]
            = "<< /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content + "\nendstream";
        objects[object + 2] = "<< /Title <" + protect(object + 2, "Chapter " + QByteArray::number(page + 1)).toHex()
            + "> /Parent 3 0 R /Dest [" + ref(object) + " /XYZ 0 400 0]"
            + (page + 1 < pages ? " /Next " + ref(object + 5) : QByteArray()) + " >>";
    }
    objects.back() = security ? "<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + security->owner.toHex() + "> /U <"
            + security->check.toHex() + "> >>"
                              : "<< >>";

    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 " + QByteArray::number(objects.size()) + "\n0000000000 65535 f \n";
    for (size_t object = 1; object < objects.size(); ++object) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(object) + " 0 obj\n" + objects[object] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + xref + "trailer\n<< /Size " + QByteArray::number(objects.size()) + " /Root 1 0 R"
        + (security ? " /Encrypt " + ref(int(objects.size()) - 1) : QByteArray()) + " /ID [<" + DocumentId.toHex()
        + "> <" + DocumentId.toHex() + ">] >>\nstartxref\n" + start + "\n%%EOF\n";
}

// A page tree that names itself among its kids: the engine loops for ever loading it.
[[maybe_unused]] QByteArray makeLoopingPdf()
{
    const QByteArray objects[] = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [2 0 R 3 0 R] /Count 2 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
    };
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 4\n0000000000 65535 f \n";
    for (int i = 0; i < 3; ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + xref + "trailer\n<< /Size 4 /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}

} // namespace
