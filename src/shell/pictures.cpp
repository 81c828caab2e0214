#include "shell/pictures.h"

#include <QPainter>
#include <QSvgRenderer>

QString picturePath(Picture picture, TextLanguage language)
{
    const char* name = picture == Picture::ConnectionHelp ? "connectionhelp"
                       : picture == Picture::DipSwitchOff ? "dipswitchoff"
                                                          : "dipswitchon";
    const char* suffix = language == TextLanguage::Japanese ? "ja" : "en";
    return QStringLiteral(":/pictures/%1-%2.svg").arg(QLatin1String(name), QLatin1String(suffix));
}

QPixmap pictureFor(Picture picture, qreal devicePixelRatio)
{
    QSvgRenderer renderer(picturePath(picture, TextTable::current().language()));
    if (!renderer.isValid())
        return {};
    const QSize size = renderer.defaultSize();
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.setDevicePixelRatio(devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return pixmap;
}
