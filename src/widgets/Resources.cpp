#include "widgets/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
void qingheInitResources()
{
    Q_INIT_RESOURCE(qinghe);
}
