#pragma once

// Hostile and ordinary PDFs for the worker's tests, written as PDF syntax.

#include <QBuffer>
#include <QByteArray>
#include <QFont>
#include <QList>
#include <QPainter>
#include <QPdfWriter>

namespace {

// A PDF of the given objects (object n is objects[n - 1]; object 1 the catalogue).
[[maybe_unused]] QByteArray pdfOf(const QList<QByteArray>& objects)
{
    QByteArray pdf = "%PDF-1.4\n";
    QByteArray xref = "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype i = 0; i < objects.size(); ++i) {
        xref += QByteArray::number(pdf.size()).rightJustified(10, '0') + " 00000 n \n";
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const QByteArray start = QByteArray::number(pdf.size());
    return pdf + xref + "trailer\n<< /Size " + QByteArray::number(objects.size() + 1)
        + " /Root 1 0 R >>\nstartxref\n" + start + "\n%%EOF\n";
}

[[maybe_unused]] QByteArray stream(const QByteArray& content, const QByteArray& dictionary = {})
{
    return "<< " + dictionary + " /Length " + QByteArray::number(content.size()) + " >>\nstream\n" + content
        + "\nendstream";
}

const QByteArray helvetica = "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>";

// One page whose content is `content`, with Helvetica as /F1 and the given extra resources.
[[maybe_unused]] QByteArray onePage(const QByteArray& content, const QByteArray& extraResources = {}, const QList<QByteArray>& more = {},
    const QByteArray& catalogueExtra = {})
{
    QList<QByteArray> objects {
        "<< /Type /Catalog /Pages 2 0 R " + catalogueExtra + " >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 400] /Resources << /Font << /F1 5 0 R >> " + extraResources
            + " >> /Contents 4 0 R >>",
        stream(content),
        helvetica,
    };
    return pdfOf(objects + more);
}

// Two outline entries that are each other's next: an outline without end.
[[maybe_unused]] QByteArray loopingOutlinePdf()
{
    return onePage("BT /F1 12 Tf 20 300 Td (looping outline) Tj ET",
        {},
        {
            "<< /Type /Outlines /First 7 0 R /Last 8 0 R /Count 2 >>",
            "<< /Title (One) /Parent 6 0 R /Next 8 0 R /Prev 8 0 R /First 8 0 R /Last 7 0 R /Dest [3 0 R /Fit] >>",
            "<< /Title (Two) /Parent 6 0 R /Next 7 0 R /Prev 7 0 R /First 7 0 R /Last 8 0 R /Dest [3 0 R /Fit] >>",
        },
        "/Outlines 6 0 R");
}

// One page of `operations` short text showing operations.
[[maybe_unused]] QByteArray denseTextPdf(int operations)
{
    // Sixty words a line, lines half a point apart: all of it on the page.
    QByteArray content = "BT /F1 1 Tf 5 395 Td\n";
    content.reserve(operations * 20);
    for (int i = 0; i < operations; ++i)
        content += (i % 60 == 59 ? "0 -0.5 Td (w" : "(w") + QByteArray::number(i % 1000) + " ) Tj\n";
    content += "ET";
    return onePage(content);
}

// Form objects nested `levels` deep, each drawing the next `fanOut` times with
// a word of text: a few kilobytes that unfold into fanOut^levels words.
[[maybe_unused]] QByteArray nestedFormsPdf(int levels, int fanOut)
{
    QList<QByteArray> forms;
    for (int level = 0; level < levels; ++level) {
        const int object = 6 + level;
        QByteArray content = "BT /F1 4 Tf 10 10 Td (nest) Tj ET\n";
        QByteArray resources = "/Resources << /Font << /F1 5 0 R >>";
        if (level + 1 < levels) {
            for (int i = 0; i < fanOut; ++i)
                content += "/X Do\n";
            resources += " /XObject << /X " + QByteArray::number(object + 1) + " 0 R >>";
        }
        resources += " >>";
        forms << stream(content, "/Type /XObject /Subtype /Form /BBox [0 0 300 400] " + resources);
    }
    QByteArray page;
    for (int i = 0; i < fanOut; ++i)
        page += "/X Do\n";
    return onePage(page, "/XObject << /X 6 0 R >>", forms);
}

// `pages` pages in a two-level page tree, all sharing one content stream.
[[maybe_unused]] QByteArray manyPagesPdf(int pages)
{
    constexpr int perNode = 1000;
    const int nodes = (pages + perNode - 1) / perNode;
    // 1 catalogue, 2 root, 3 content, 4 font, then the nodes, then the pages.
    QList<QByteArray> objects { "<< /Type /Catalog /Pages 2 0 R >>", {}, stream("BT /F1 12 Tf 20 300 Td (page) Tj ET"),
        helvetica };
    QByteArray rootKids;
    for (int node = 0; node < nodes; ++node)
        rootKids += QByteArray::number(5 + node) + " 0 R ";
    objects[1] = "<< /Type /Pages /Kids [" + rootKids + "] /Count " + QByteArray::number(pages) + " >>";
    const int firstPage = 5 + nodes;
    for (int node = 0; node < nodes; ++node) {
        const int count = qMin(perNode, pages - node * perNode);
        QByteArray kids;
        for (int i = 0; i < count; ++i)
            kids += QByteArray::number(firstPage + node * perNode + i) + " 0 R ";
        objects << "<< /Type /Pages /Parent 2 0 R /Kids [" + kids + "] /Count " + QByteArray::number(count) + " >>";
    }
    for (int page = 0; page < pages; ++page)
        objects << "<< /Type /Page /Parent " + QByteArray::number(5 + page / perNode)
                + " 0 R /MediaBox [0 0 300 400] /Resources << /Font << /F1 4 0 R >> >> /Contents 3 0 R >>";
    return pdfOf(objects);
}

// `pages` pages, each saying which it is, in Latin letters and Chinese.
[[maybe_unused]] QByteArray writtenPdf(int pages)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(72);
    QPainter painter(&writer);
    painter.setFont(QFont(QStringLiteral("WenQuanYi Micro Hei"), 14));
    for (int page = 0; page < pages; ++page) {
        if (page > 0)
            writer.newPage();
        painter.drawText(40, 60, QStringLiteral("Page %1 第%2页 普通文字").arg(page + 1).arg(page + 1));
    }
    painter.end();
    return bytes;
}

} // namespace
