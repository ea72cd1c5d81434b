#pragma once

// Gives a control the objectName tests and style sheets find it by, in the
// initialiser list that makes it: `, BtnOK(named(new QPushButton(…), u"BtnOK"_s))`.

#include <QString>

template <typename Widget> Widget* named(Widget* widget, const QString& name)
{
    widget->setObjectName(name);
    return widget;
}
