#include "plaindocument.h"

#include <QSet>
#include <QXmlStreamReader>

namespace {

// What the stream reader would read differently from setContent is left to
// setContent: a declaration, comment, CDATA section or DOCTYPE ("<?", "<!"),
// a carriage return or tab anywhere, and a line feed inside an attribute value
// (setContent keeps those as they stand where the stream reader turns them into
// spaces). A quote outside a tag is text, which is left to setContent anyway.
bool isPlainForm(const QByteArray& text)
{
    const char* p = text.constData();
    const char* const end = p + text.size();
    char quote = 0;
    for (; p < end; ++p) {
        const char c = *p;
        if (c == '\r' || c == '\t')
            return false;
        if (quote) {
            if (c == quote)
                quote = 0;
            else if (c == '\n')
                return false;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '<' && p + 1 < end && (p[1] == '?' || p[1] == '!')) {
            return false;
        }
    }
    return true;
}

// The stream reader lets through some characters in names that setContent
// refuses; the unit's own names are plain ASCII.
bool isPlainName(const QStringRef& name)
{
    if (name.isEmpty())
        return false;
    for (int i = 0; i < name.size(); ++i) {
        const ushort c = name.at(i).unicode();
        const bool letter = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
        const bool later = (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':';
        if (!letter && (i == 0 || !later))
            return false;
    }
    return true;
}

// One string per distinct name or value for the length of one read.
class StringPool {
public:
    QString take(const QStringRef& text)
    {
        if (text.isEmpty())
            return empty;
        const auto found = strings.constFind(QString::fromRawData(text.unicode(), text.size()));
        if (found != strings.constEnd())
            return *found;
        const QString own = text.toString();
        strings.insert(own);
        return own;
    }

private:
    const QString empty = QLatin1String("");
    QSet<QString> strings;
};

} // namespace

bool readPlainDocument(const QByteArray& text, QDomDocument& into)
{
    if (!isPlainForm(text))
        return false;
    QXmlStreamReader reader(text);
    StringPool pool;
    QDomDocument document;
    QDomNode parent; // null until the document element
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartDocument:
        case QXmlStreamReader::EndDocument:
            break;
        case QXmlStreamReader::StartElement: {
            // setContent reads without namespaces: a declaration is an attribute there.
            if (!reader.namespaceDeclarations().isEmpty() || !isPlainName(reader.qualifiedName()))
                return false;
            QDomElement element = document.createElement(pool.take(reader.qualifiedName()));
            const QXmlStreamAttributes attributes = reader.attributes();
            for (const QXmlStreamAttribute& attribute : attributes) {
                if (!isPlainName(attribute.qualifiedName()))
                    return false;
                element.setAttribute(pool.take(attribute.qualifiedName()), pool.take(attribute.value()));
            }
            parent = parent.isNull() ? document.appendChild(element) : parent.appendChild(element);
            break;
        }
        case QXmlStreamReader::EndElement:
            parent = parent.parentNode();
            break;
        case QXmlStreamReader::Characters:
            if (!reader.isWhitespace())
                return false;
            break;
        default:
            return false;
        }
    }
    if (reader.hasError())
        return false;
    into = document;
    return true;
}
