#include "platform/updater/Appcast.h"

#include "platform/updater/SoftwareVersion.h"

#include <QXmlStreamReader>

namespace {

const QString sparkleNamespace = QStringLiteral("http://www.andymatuschak.org/xml-namespaces/sparkle");

std::optional<std::string> nonEmpty(QStringView text)
{
    QString trimmed = text.trimmed().toString();
    return trimmed.isEmpty() ? std::nullopt : std::optional(trimmed.toStdString());
}

std::optional<std::string> elementText(QXmlStreamReader& xml)
{
    return nonEmpty(xml.readElementText(QXmlStreamReader::SkipChildElements));
}

bool isSparkle(const QXmlStreamReader& xml, QStringView name)
{
    return xml.namespaceUri() == sparkleNamespace && xml.name() == name;
}

void readEnclosure(QXmlStreamReader& xml, Appcast::Item& item)
{
    QXmlStreamAttributes attributes = xml.attributes();
    item.enclosureURL = nonEmpty(attributes.value(QStringLiteral("url")));
    if (auto version = nonEmpty(attributes.value(sparkleNamespace, QStringLiteral("version"))))
        item.version = version;
    if (auto shortVersion = nonEmpty(attributes.value(sparkleNamespace, QStringLiteral("shortVersionString"))))
        item.shortVersionString = shortVersion;
    xml.skipCurrentElement();
}

Appcast::Item readItem(QXmlStreamReader& xml)
{
    Appcast::Item item;
    while (xml.readNextStartElement()) {
        if (xml.namespaceUri().isEmpty() && xml.name() == u"title")
            item.title = elementText(xml).value_or("");
        else if (xml.namespaceUri().isEmpty() && xml.name() == u"link")
            item.link = elementText(xml);
        else if (xml.name() == u"enclosure")
            readEnclosure(xml, item);
        else if (isSparkle(xml, u"version"))
            item.version = elementText(xml);
        else if (isSparkle(xml, u"shortVersionString"))
            item.shortVersionString = elementText(xml);
        else
            xml.skipCurrentElement();
    }
    return item;
}

}

std::string Appcast::Item::displayVersion() const
{
    return shortVersionString.value_or(version.value_or(""));
}

std::optional<std::string> Appcast::Item::bestLink() const
{
    return link ? link : enclosureURL;
}

std::variant<Appcast, std::string> Appcast::parse(std::string_view document)
{
    QXmlStreamReader xml(QByteArray(document.data(), static_cast<qsizetype>(document.size())));
    if (!xml.readNextStartElement() || xml.name() != u"rss") {
        if (xml.hasError())
            return "the update feed is not valid XML: " + xml.errorString().toStdString();
        return std::string("the update feed is not an RSS document");
    }
    Appcast feed;
    while (xml.readNextStartElement()) {
        if (xml.name() != u"channel") {
            xml.skipCurrentElement();
            continue;
        }
        while (xml.readNextStartElement()) {
            if (xml.name() == u"item")
                feed.items_.push_back(readItem(xml));
            else if (xml.name() == u"link" && xml.namespaceUri().isEmpty())
                feed.link_ = elementText(xml);
            else
                xml.skipCurrentElement();
        }
    }
    if (xml.hasError())
        return "the update feed is not valid XML: " + xml.errorString().toStdString() + " at line " +
               std::to_string(xml.lineNumber());
    return feed;
}

std::optional<Appcast::Item> Appcast::newestItem() const
{
    std::optional<Item> newest;
    for (const Item& item : items_) {
        if (item.displayVersion().empty())
            continue;
        if (!newest || SoftwareVersion::compare(item.displayVersion(), newest->displayVersion()) > 0)
            newest = item;
    }
    return newest;
}
