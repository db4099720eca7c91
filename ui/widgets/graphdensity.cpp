#include "ui/widgets/graphdensity.h"

#include <qcustomplot.h>

#include <cmath>
#include <limits>

namespace GraphDensity {

bool isThinned(const QCPGraph* graph)
{
    if (!graph || !graph->adaptiveSampling())
        return false;
    const QCPAxis* keyAxis = graph->keyAxis();
    if (!keyAxis)
        return false;
    const QSharedPointer<QCPGraphDataContainer> data = graph->data();
    const QCPRange range = keyAxis->range();
    const auto begin = data->findBegin(range.lower);
    const auto end = data->findEnd(range.upper);
    const int count = static_cast<int>(end - begin);
    if (count < 2)
        return false;
    const double span = std::abs(keyAxis->coordToPixel(begin->key) - keyAxis->coordToPixel((end - 1)->key));
    const double most = 2 * span + 2;
    return most < static_cast<double>(std::numeric_limits<int>::max()) && count >= static_cast<int>(most);
}

void antialiasUnlessThinned(QCPGraph* graph)
{
    if (graph)
        graph->setAntialiased(!isThinned(graph));
}

} // namespace GraphDensity
