#include "ui/ApplicationIcon.h"

QIcon ApplicationIcon()
{
    QIcon icon;
    for (int size : {16, 24, 32, 48, 256})
        icon.addFile(QStringLiteral(":/icons/quenor-cleaner-%1.png").arg(size), QSize(size, size));
    return icon;
}
