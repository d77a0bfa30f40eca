#include "appResources.h"

#include <QtGlobal>

void initAppResources()
{
    Q_INIT_RESOURCE(qxwebserver);
}
