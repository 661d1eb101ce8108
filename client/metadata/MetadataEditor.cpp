#include "MetadataEditor.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QValidator>

#include "TabKeyFilter.h"
#include "XMLValues.h"

namespace Client {

namespace XV = Tamsor::XMLValues;

MetadataEditor::MetadataEditor(const QString &dataType, QValidator *validator, QWidget *parent)
    : QWidget(parent)
    , m_dataType(dataType)
{
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    if (isBoolType(dataType) || isEnumType(dataType)) {
        m_comboBox = new QComboBox(this);
        m_comboBox->setFrame(false);
        m_comboBox->view()->setTextElideMode(Qt::ElideRight);
        if (isBoolType(dataType))
            m_comboBox->addItems({ XV::YES, XV::NO });
        else
            m_comboBox->addItems(enumChoices(dataType));
        layout->addWidget(m_comboBox);
        connect(m_comboBox, &QComboBox::activated, this, &MetadataEditor::listEditChanged);
    } else {
        m_lineEdit = new QLineEdit(this);
        m_lineEdit->setFrame(false);
        if (validator)
            m_lineEdit->setValidator(validator);
        layout->addWidget(m_lineEdit);
        setFocusProxy(m_lineEdit);
        m_lineEdit->installEventFilter(new TabKeyFilter(this));
        connect(m_lineEdit, &QLineEdit::editingFinished, this, &MetadataEditor::lineEditChanged);
    }
}

bool MetadataEditor::isBoolType(const QString &dataType)
{
    return dataType == XV::EDITORTYPE_BOOL;
}

bool MetadataEditor::isEnumType(const QString &dataType)
{
    return !isBoolType(dataType) && dataType.contains(XV::EDITORTYPE_ENUM, Qt::CaseSensitive);
}

bool MetadataEditor::meansYes(const QString &value)
{
    return value.compare(XV::YES, Qt::CaseInsensitive) == 0
        || value.compare(XV::VAL_TRUE, Qt::CaseInsensitive) == 0;
}

QStringList MetadataEditor::enumChoices(const QString &dataType)
{
    QString list = dataType;
    list.remove(XV::EDITORTYPE_ENUM + QLatin1Char(':'), Qt::CaseSensitive);
    return list.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

QString MetadataEditor::value() const
{
    // Text the validator finds unfinished is not reported by editingFinished,
    // yet it is what the user sees and what Tab stores; the field's check
    // tells whether it will do.
    return m_lineEdit ? m_lineEdit->text() : m_value;
}

void MetadataEditor::setValue(const QString &value)
{
    m_value = value;
    if (m_lineEdit) {
        m_lineEdit->setText(value);
    } else if (isBoolType(m_dataType)) {
        m_comboBox->setCurrentIndex(meansYes(value) ? 0 : 1);
    } else {
        const int found = m_comboBox->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive);
        if (found >= 0)
            m_comboBox->setCurrentIndex(found);
    }
}

void MetadataEditor::lineEditChanged()
{
    if (!m_lineEdit)
        return;
    m_value = m_lineEdit->text();
    emit valueChanged();
}

void MetadataEditor::listEditChanged(int index)
{
    if (!m_comboBox || index < 0)
        return;
    const QString chosen = m_comboBox->itemText(index);
    if (isBoolType(m_dataType))
        m_value
            = (chosen.compare(XV::YES, Qt::CaseInsensitive) == 0 ? XV::VAL_TRUE : XV::VAL_FALSE).toLower();
    else
        m_value = chosen;
    emit valueChanged();
}

} // namespace Client
