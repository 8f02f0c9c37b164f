#include "window/TestFields.h"

#include "panel/ModeTexts.h"
#include "protocol/Modes.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>

namespace rz417 {

namespace {

using measure::Field;

// A field's object name from its key: "cutoff" is "Cutoff", "stop_below" "StopBelow".
QString objectNameOf(const char *key)
{
    QString name;
    bool upper = true;
    for (const char *c = key; *c; ++c) {
        if (*c == '_') {
            upper = true;
            continue;
        }
        name += upper ? QChar::fromLatin1(*c).toUpper() : QChar::fromLatin1(*c);
        upper = false;
    }
    return name;
}

} // namespace

TestFields::TestFields(std::vector<measure::ParameterInfo> parameters, const QString &group,
                       const QString &logCaption, QWidget *parent)
    : QWidget(parent), m_parameters(std::move(parameters)), m_group(group), m_logCaption(logCaption)
{
    const QSettings settings;
    for (const measure::ParameterInfo &parameter : m_parameters) {
        const QString key = QString::fromLatin1(parameter.key);
        m_entries.push_back(makeEntry(
            parameter,
            settings.value(m_group + key, QString::fromLatin1(parameter.initial)).toString()));
    }
    layOut();
    showUnits();
    if (m_choice)
        connect(m_choice, &QComboBox::currentTextChanged, this, &TestFields::showUnits);
}

TestFields::Entry TestFields::makeEntry(const measure::ParameterInfo &parameter,
                                        const QString &text)
{
    Entry entry;
    entry.parameter = &parameter;
    QWidget *field = nullptr;
    switch (parameter.field) {
    case Field::Choice:
        entry.choice = new QComboBox(this);
        entry.choice->addItems(QString::fromLatin1(parameter.unit).split(QLatin1Char(' ')));
        entry.choice->setCurrentText(text);
        m_choice = entry.choice;
        field = entry.choice;
        break;
    case Field::Flag:
        // The check box carries the label, so that its mnemonic switches it.
        entry.flag = new QCheckBox(QString::fromLatin1(parameter.label), this);
        entry.flag->setChecked(text == QLatin1String(measure::kYes));
        field = entry.flag;
        break;
    case Field::Line:
    case Field::Setpoint:
    case Field::File:
        entry.line = new QLineEdit(text, this);
        entry.line->setPlaceholderText(QString::fromLatin1(parameter.hint));
        field = entry.line;
        break;
    }
    field->setObjectName(objectNameOf(parameter.key));
    if (parameter.field == Field::Setpoint) {
        auto *unit = new QLabel(this);
        m_units.push_back(unit);
        entry.beside = unit;
    } else if (parameter.field == Field::File) {
        auto *button = new QPushButton(QStringLiteral("&Browse..."), this);
        QLineEdit *file = entry.line;
        connect(button, &QPushButton::clicked, this, [this, file] { browse(file); });
        entry.beside = button;
    } else if (parameter.field == Field::Line && *parameter.unit) {
        entry.beside = new QLabel(QString::fromLatin1(parameter.unit), this);
    }
    return entry;
}

void TestFields::layOut()
{
    auto *grid = new QGridLayout(this);
    grid->setContentsMargins(0, 0, 0, 0);
    int index = 0;
    for (const Entry &entry : m_entries) {
        const int row = index / 2;
        const int column = index % 2 * 3;
        ++index;
        if (entry.flag) {
            grid->addWidget(entry.flag, row, column, 1, 3);
            continue;
        }
        QWidget *field = entry.line ? static_cast<QWidget *>(entry.line) : entry.choice;
        auto *label = new QLabel(QString::fromLatin1(entry.parameter->label), this);
        label->setBuddy(field);
        grid->addWidget(label, row, column);
        grid->addWidget(field, row, column + 1, 1, entry.beside ? 1 : 2);
        if (entry.beside)
            grid->addWidget(entry.beside, row, column + 2);
    }
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(4, 1);
}

void TestFields::browse(QLineEdit *file)
{
    const QString path = QFileDialog::getSaveFileName(
        this, m_logCaption, file->text(), QStringLiteral("CSV files (*.csv);;All files (*)"));
    if (!path.isEmpty())
        file->setText(path);
}

void TestFields::showUnits()
{
    const ModeInfo *mode = m_choice ? modeByName(m_choice->currentText().toStdString()) : nullptr;
    const QString unit = QString::fromUtf8(modeTexts(mode ? mode->code : ModeCodes::CC).unit);
    for (QLabel *label : m_units)
        label->setText(unit);
}

QString TestFields::textOf(const Entry &entry) const
{
    if (entry.choice)
        return entry.choice->currentText();
    if (entry.flag)
        return QString::fromLatin1(entry.flag->isChecked() ? measure::kYes : measure::kNo);
    return entry.line->text();
}

measure::Texts TestFields::texts() const
{
    measure::Texts texts;
    for (const Entry &entry : m_entries)
        texts[entry.parameter->key] = textOf(entry).trimmed().toStdString();
    return texts;
}

QString TestFields::lineText(const char *key) const
{
    for (const Entry &entry : m_entries) {
        if (entry.line && qstrcmp(entry.parameter->key, key) == 0)
            return entry.line->text();
    }
    return {};
}

void TestFields::remember() const
{
    QSettings settings;
    for (const Entry &entry : m_entries)
        settings.setValue(m_group + QString::fromLatin1(entry.parameter->key), textOf(entry));
}

void TestFields::setEditable(bool editable)
{
    for (const Entry &entry : m_entries) {
        for (QWidget *field :
             {static_cast<QWidget *>(entry.line), static_cast<QWidget *>(entry.choice),
              static_cast<QWidget *>(entry.flag), entry.beside}) {
            // A unit beside its field is no input.
            if (field && !qobject_cast<QLabel *>(field))
                field->setEnabled(editable);
        }
    }
}

} // namespace rz417
