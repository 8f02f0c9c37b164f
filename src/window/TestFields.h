#pragma once

#include "measure/Parameters.h"

#include <QString>
#include <QWidget>

#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace rz417 {

// The fields of a kind of measured test as its parameters describe them, two to a row: a line
// with its unit beside it, a choice, a setpoint whose unit follows the choice, a file name with
// a button to browse for one, a check box for a flag. Each starts with the text remembered under
// the kind's group, else the parameter's initial text.
class TestFields : public QWidget
{
    Q_OBJECT

public:
    // group: where the texts are remembered, "battery/"; logCaption: the file dialog's.
    TestFields(std::vector<measure::ParameterInfo> parameters, const QString &group,
               const QString &logCaption, QWidget *parent);

    // By key, as the kind reads them: lines trimmed, a flag as kYes or kNo.
    measure::Texts texts() const;
    // A line's text as typed.
    QString lineText(const char *key) const;
    void remember() const;
    // The fields take input or not; their labels stay as they are.
    void setEditable(bool editable);

private:
    struct Entry
    {
        const measure::ParameterInfo *parameter = nullptr;
        QLineEdit *line = nullptr;
        QComboBox *choice = nullptr;
        QCheckBox *flag = nullptr;
        QWidget *beside = nullptr; // a unit, or the browse button
    };

    Entry makeEntry(const measure::ParameterInfo &parameter, const QString &text);
    void layOut();
    void browse(QLineEdit *file);
    void showUnits();
    // The text of an entry as it is read and remembered, before trimming.
    QString textOf(const Entry &entry) const;

    std::vector<measure::ParameterInfo> m_parameters;
    QString m_group;
    QString m_logCaption;
    std::vector<Entry> m_entries;
    QComboBox *m_choice = nullptr; // the one whose mode the setpoints' units follow
    std::vector<QLabel *> m_units; // the setpoints'
};

} // namespace rz417
