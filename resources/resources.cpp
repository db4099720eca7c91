#include "resources/resources.h"

#include <QtCore/qglobal.h>

void initTervalResources()
{
    Q_INIT_RESOURCE(terval_images);
}
