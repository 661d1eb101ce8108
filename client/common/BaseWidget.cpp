#include "BaseWidget.h"

namespace Client {

BaseWidget::BaseWidget(QWidget *parent)
    : QWidget(parent)
{ }

} // namespace Client
