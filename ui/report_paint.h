#pragma once
// Inside the window layer: the fonts of the report engine and the painter of kept pages, shared by
// the page images of windows and by printing and PDF output. Not for other layers.

#include <QRectF>

#include "ui/report_engine.h"

class QFont;
class QPainter;

namespace sitedex::ui {

// The toolkit font of a report font, sized in thousandths of an inch.
const QFont& reportQFont(ReportFont font);

// Draws the page scaled into the target rectangle (device coordinates of the painter): the paper
// white, then what the page holds. Only what lies inside `visible` (device coordinates; empty: all)
// needs to be drawn, which keeps repainting a part of a zoomed page cheap.
void paintPage(QPainter& painter, const PageDrawing& page, const QRectF& target, const QRectF& visible = {});

}  // namespace sitedex::ui
