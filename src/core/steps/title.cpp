#include "core/steps/title.h"

#include "core/form.h"
#include "core/form_state.h"
#include "text/default_homepage.h"
#include "text/markers.h"
#include "text/page_text.h"
#include "text/text_ops.h"

namespace clipnest {

namespace {

// Whatever stands between the marker and the next "<" becomes LF + value + LF; blanks around the rest are dropped.
// With no "<" after the marker the document ends after the value's line. Done in place: a large homepage is not
// copied for it.
void replaceAfterMarker(std::string& text, std::string_view marker, std::string_view value) {
    const std::size_t p = findText(text, marker);
    if (p == std::string::npos) {
        return;
    }
    const std::size_t end = p + marker.size();
    const std::string_view rest = stripBlanks(std::string_view(text).substr(end));
    const std::size_t restFrom = static_cast<std::size_t>(rest.data() - text.data());
    const std::size_t k = rest.find('<');
    std::string line = "\n";
    line.append(value);
    line += '\n';
    if (k == std::string_view::npos) {
        text.resize(end);
        text += line;
        return;
    }
    text.resize(restFrom + rest.size());
    text.replace(end, restFrom + k - end, line);
}

} // namespace

void updateTitleAndMessage(Form& form) {
    const Request& q = state(form).request;
    std::string& text = state(form).homepage.PageText;
    switch (++state(form).request.TitleStepPhase) {
    case 1:
        if (!q.HomepageTitle.empty()) {
            replaceAfterMarker(text, markers::Title, q.HomepageTitle);
            setHeadTitle(text, q.HomepageTitle);
        }
        break;
    case 2:
        if (!q.HomepageMessage.empty()) {
            replaceAfterMarker(text, markers::Message, q.HomepageMessage);
            setHeadDescription(text, q.HomepageMessage);
        }
        break;
    case 3:
        // No homepage text is held only when none could be loaded or built; an empty file would help nobody.
        if (!text.empty() && !form.writeHomepage()) {
            return;
        }
        form.disarm(Step::TitleAndMessage);
        break;
    default:
        break;
    }
}

// The values are page text: &, < and > are escaped, so a later update replaces the whole old value. An empty box
// leaves the homepage's own value as it stands, whatever an earlier request set.
void Form::setTitleAndMessage() {
    startClick();
    if (controls.title.empty() && controls.message.empty()) {
        return;
    }
    Request next;
    next.kind = Operation::Kind::Title;
    if (!controls.title.empty()) {
        next.HomepageTitle = asciiWithReferences(toPageText(controls.title));
    }
    if (!controls.message.empty()) {
        next.HomepageMessage = asciiWithReferences(toPageText(controls.message));
    }
    if (beginRequest(std::move(next), {})) {
        arm(Step::TitleAndMessage);
    }
}

} // namespace clipnest
