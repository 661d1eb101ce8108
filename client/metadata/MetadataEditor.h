#pragma once

#include <QString>
#include <QWidget>

class QComboBox;
class QLineEdit;
class QValidator;

namespace Client {

// The in-place editor of one metadata value. A yes/no list for booleans, a
// list of the choices for enumerations, a line edit for everything else.
class MetadataEditor : public QWidget
{
    Q_OBJECT

public:
    // The validator, when given, is used by the line edit; its owner stays.
    MetadataEditor(const QString &dataType, QValidator *validator, QWidget *parent = nullptr);

    // A line edit's value is the text it shows.
    QString value() const;
    void setValue(const QString &value);

    QString dataType() const { return m_dataType; }
    QLineEdit *lineEdit() const { return m_lineEdit; }
    QComboBox *comboBox() const { return m_comboBox; }

    // The choices an enumeration's data type lists.
    static QStringList enumChoices(const QString &dataType);
    static bool isBoolType(const QString &dataType);
    static bool isEnumType(const QString &dataType);
    // A stored boolean shown as the yes text.
    static bool meansYes(const QString &value);

signals:
    void valueChanged();

public slots:
    void lineEditChanged();
    void listEditChanged(int index);

private:
    QString m_dataType;
    QString m_value;
    QLineEdit *m_lineEdit = nullptr;
    QComboBox *m_comboBox = nullptr;
};

} // namespace Client
