#include "settings/watch_options.h"

#include "settings/focus_frame_style.h"
#include "settings/settings_file.h"

#include <QButtonGroup>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

using namespace Qt::StringLiterals;

namespace {

constexpr int kColumnWidth = 232;

const QString kSourceKey = u"watch/source"_s;
const QString kHostKey = u"watch/host"_s;
const QString kSnmpOptionsKey = u"watch/snmpOptions"_s;
const QString kAgentSource = u"snmpAgent"_s;
const QString kComputerSource = u"thisComputer"_s;

QLabel* label(const QString& text, const QString& name, QWidget* panel, int left, int top)
{
    auto* label = new QLabel(text, panel);
    label->setObjectName(name);
    label->setGeometry(left, top, label->sizeHint().width(), 13);
    return label;
}

QLineEdit* field(const QString& name, QWidget* panel, int left, int top)
{
    auto* edit = new QLineEdit(panel);
    edit->setObjectName(name);
    edit->setGeometry(left, top, kColumnWidth - 32 - 16, 21);
    QPalette palette = edit->palette();
    palette.setColor(QPalette::Text, Qt::black);
    edit->setPalette(palette);
    return edit;
}

} // namespace

WatchTarget WatchTarget::load(const SettingsFile& file)
{
    WatchTarget target;
    target.snmpAgent = file.value(kSourceKey).toString() == kAgentSource;
    target.host = file.value(kHostKey).toString();
    target.snmpOptions = file.value(kSnmpOptionsKey).toString();
    return target;
}

bool WatchTarget::store(SettingsFile& file) const
{
    return file.setValue(kSourceKey, snmpAgent ? kAgentSource : kComputerSource)
        && file.setValue(kHostKey, host) && file.setValue(kSnmpOptionsKey, snmpOptions);
}

WatchOptions::WatchOptions(QWidget* dialog, QWidget* panel)
{
    const int left = panel->width();
    dialog->setFixedSize(dialog->width() + kColumnWidth, dialog->height());
    panel->resize(panel->width() + kColumnWidth, panel->height());

    // The boxes' focus frames must show on the black panel, as the check boxes' do.
    auto* focusStyle = new FocusFrameStyle;
    focusStyle->setParent(dialog);
    // A group of their own: other radio buttons on the panel must not take turns with these.
    auto* group = new QButtonGroup(dialog);
    const auto radio
        = [panel, focusStyle, group, left](const QString& caption, const QString& name, int top) {
              auto* button = new QRadioButton(caption, panel);
              button->setObjectName(name);
              button->setStyle(focusStyle);
              button->setGeometry(left + 16, top, button->sizeHint().width(), 17);
              group->addButton(button);
              return button;
          };
    LabelWatch = label(u"Watch:"_s, u"LabelWatch"_s, panel, left + 8, 24);
    RadioThisComputer = radio(u"this computer"_s, u"RadioThisComputer"_s, 48);
    RadioSnmpAgent = radio(u"SNMP agent"_s, u"RadioSnmpAgent"_s, 72);
    RadioThisComputer->setChecked(true);
    LabelHost = label(u"Host"_s, u"LabelHost"_s, panel, left + 32, 100);
    EditHost = field(u"EditHost"_s, panel, left + 32, 116);
    EditHost->setToolTip(u"host, udp:host:161 or udp6:[::1]:1161"_s);
    LabelSnmpOptions = label(u"SNMP options"_s, u"LabelSnmpOptions"_s, panel, left + 32, 148);
    EditSnmpOptions = field(u"EditSnmpOptions"_s, panel, left + 32, 164);
    EditSnmpOptions->setToolTip(
        u"As for snmpwalk: -v2c -c COMMUNITY, or -v3 -l authPriv -u NAME -a SHA -A ... -x AES -X ..."_s);
    enableAgentFields();
    QObject::connect(RadioSnmpAgent, &QRadioButton::toggled, EditHost, [this] { enableAgentFields(); });
}

WatchTarget WatchOptions::target() const
{
    return { RadioSnmpAgent->isChecked(), EditHost->text().trimmed(), EditSnmpOptions->text() };
}

void WatchOptions::setTarget(const WatchTarget& target)
{
    (target.snmpAgent ? RadioSnmpAgent : RadioThisComputer)->setChecked(true);
    EditHost->setText(target.host);
    EditSnmpOptions->setText(target.snmpOptions);
    enableAgentFields();
}

void WatchOptions::enableAgentFields()
{
    const bool agent = RadioSnmpAgent->isChecked();
    for (QWidget* widget : { static_cast<QWidget*>(LabelHost), static_cast<QWidget*>(EditHost),
             static_cast<QWidget*>(LabelSnmpOptions), static_cast<QWidget*>(EditSnmpOptions) })
        widget->setEnabled(agent);
}
