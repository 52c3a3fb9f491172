#pragma once

#include <stdexcept>

#include <QString>

namespace kelvora {

/// A manual that cannot be rendered: a missing font, an unwritable output. what() says which.
class HelpPdfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Renders Markdown (GitHub dialect: headings, lists, tables, code) into an A4 PDF with the Chinese text
/// font embedded. Every level-1 heading after the first starts a new page; each page but the first carries
/// the title at its top, and every page its number ("第 N 页 / 共 M 页") at its bottom. Optionally a table
/// of contents follows the first heading.
///
/// Needs a QGuiApplication. The text font is `WenQuanYi Zen Hei`, code is set in
/// `WenQuanYi Zen Hei Mono` (both from Debian's fonts-wqy-zenhei): their text copies out of the PDF as the
/// characters it shows.
class HelpPdfWriter {
public:
    static constexpr const char* kTextFamily = "WenQuanYi Zen Hei";
    static constexpr const char* kCodeFamily = "WenQuanYi Zen Hei Mono";

    explicit HelpPdfWriter(QString title) : m_title(std::move(title)) {}

    /// With contents: right after the document's first heading (its title) a table of contents, "目录",
    /// lists every further level-1 and level-2 heading with the page it stands on; the text after the
    /// title then begins on a new page. (Qt's PDF writer makes no bookmarks and no links within the
    /// document, so the contents are printed only.)
    void setContents(bool contents) { m_contents = contents; }

    /// Writes the PDF to pdfPath (replacing it only once the whole document is written) and returns the
    /// number of pages. Throws HelpPdfError when a font is not installed or the file cannot be written.
    int write(const QString& markdown, const QString& pdfPath) const;

private:
    /// Lays the document out in pages and draws them into a new PDF at path.
    int render(const QString& markdown, const QString& path) const;

    QString m_title;
    bool m_contents = false;
};

} // namespace kelvora
