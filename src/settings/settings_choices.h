// What the Settings window offers, without widgets: the choices of each picker with the value
// stored for them.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace vesker::settings {

struct Choice {
    QString value; // what is stored
    QString label; // what the user reads
};

QList<Choice> accessPolicyChoices();
QList<Choice> arrivalBehaviorChoices();
QList<Choice> fullScreenStyleChoices();
QList<Choice> viewModeChoices();
QList<Choice> photoSizeChoices();
QList<Choice> cleanupAgeChoices();
QList<Choice> cleanupActionChoices();
// "Whichever display the window is on" (stored as ""), then each named display in the order
// given. A stored display that is not connected now stays choosable, so that opening the window
// never loses the choice.
QList<Choice> displayChoices(const QStringList& displayNames, const QString& stored);

} // namespace vesker::settings
