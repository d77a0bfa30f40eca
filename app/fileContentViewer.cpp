#include "fileContentViewer.h"

#include "dataViewer.h"

#include <QImage>
#include <QLabel>
#include <QPixmap>
#include <QScrollArea>

namespace fileContentViewer_n {

using kind_t = qxIff_n::fileContent_t::kind_t;

QString kindName(kind_t p_eKind)
{
    switch (p_eKind) {
    case kind_t::signature:
        return QStringLiteral("signature");
    case kind_t::barcode:
        return QStringLiteral("barcode");
    case kind_t::camera:
        return QStringLiteral("camera");
    case kind_t::unknown:
        break;
    }
    return QStringLiteral("unknown");
}

QString actionText(const qxIff_n::fileContent_t& p_content)
{
    switch (p_content.kind()) {
    case kind_t::signature:
        return QStringLiteral("Show Signature Image ") + p_content.name;
    case kind_t::barcode:
        return QStringLiteral("Show Barcode Text ") + p_content.name;
    case kind_t::camera:
        return QStringLiteral("Show Camera Image ") + p_content.name;
    case kind_t::unknown:
        break;
    }
    return QStringLiteral("Unknown file content of type 0x%1 %2")
        .arg(QString::number(p_content.type, 16).toUpper().rightJustified(4, QLatin1Char('0')),
             p_content.name);
}

QWidget* show(const qxIff_n::fileContent_t& p_content)
{
    const kind_t kind = p_content.kind();
    QString title = kindName(kind);
    title[0] = title.at(0).toUpper();
    title += QLatin1Char(' ') + p_content.name;
    QWidget* window = nullptr;
    const QImage image = kind == kind_t::barcode ? QImage() : QImage::fromData(p_content.data);
    if (!image.isNull()) {
        auto* label = new QLabel;
        label->setObjectName(QStringLiteral("picture"));
        label->setPixmap(QPixmap::fromImage(image));
        auto* area = new QScrollArea;
        area->setWidget(label);
        area->resize(qMin(image.width() + 24, 1024), qMin(image.height() + 24, 768));
        window = area;
    } else {
        // A barcode opens on the text tab, as its bytes are printable.
        auto* viewer = new dataViewer_c;
        viewer->setData(p_content.data);
        viewer->resize(640, 400);
        window = viewer;
    }
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowTitle(title);
    window->show();
    return window;
}

} // namespace fileContentViewer_n
