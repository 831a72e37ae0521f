#include "KqTextDocument.h"

#include "KqCharFormat.h"
#include "KqDocumentValidater.h"

KQ_DEFINE_CLASS(KqTextCursor, KqRttiObject, 'KTCR', &kqMakeInstance<KqTextCursor>)
KQ_DEFINE_CLASS(KqTextDocument, KqRttiObject, 'TDNT', &kqMakeInstance<KqTextDocument>)

// ---- cursor

int KqTextCursor::length() const { return m_document ? m_document->length() : 0; }

bool KqTextCursor::isSpaceAt(int i) const
{
    const KqChar c = m_document->charAt(i);
    return c == u' ' || c == u'\t' || c == u'\n';
}

void KqTextCursor::setPosition(int position)
{
    const int n = length();
    m_position = position < 0 ? 0 : (position > n ? n : position);
}

void KqTextCursor::moveToEnd() { setPosition(length()); }

void KqTextCursor::wordLeft(int n)
{
    if (!m_document)
        return;
    for (int k = 0; k < n; ++k) {
        int i = m_position - 1;
        while (i >= 0 && isSpaceAt(i))
            --i;
        while (i >= 0 && !isSpaceAt(i))
            --i;
        setPosition(i + 1);
    }
}

void KqTextCursor::wordRight(int n)
{
    if (!m_document)
        return;
    const int end = length();
    for (int k = 0; k < n; ++k) {
        int i = m_position;
        while (i < end && isSpaceAt(i))
            ++i;
        while (i < end && !isSpaceAt(i))
            ++i;
        while (i < end && isSpaceAt(i))
            ++i;
        setPosition(i);
    }
}

void KqTextCursor::endOfLine()
{
    if (!m_document)
        return;
    int i = m_position;
    while (i < length() && m_document->charAt(i) != u'\n')
        ++i;
    setPosition(i);
}

void KqTextCursor::startOfLine()
{
    if (!m_document)
        return;
    int i = m_position;
    while (i > 0 && m_document->charAt(i - 1) != u'\n')
        --i;
    setPosition(i);
}

void KqTextCursor::lineUp()
{
    const int position = m_position;
    startOfLine();
    const int column = position - m_position;
    moveLeft(2);
    startOfLine();
    moveRight(column);
}

void KqTextCursor::lineDown()
{
    const int position = m_position;
    endOfLine();
    const int toEnd = m_position - position;
    moveRight(2);
    endOfLine();
    moveLeft(toEnd);
}

// ---- document

KqTextDocument::KqTextDocument()
{
    m_runStarts.append(0);
    m_runFormats.append(0);
    m_charFormats.append(new KqCharFormat);
    m_textFormats.append(new KqTextFormat);
}

KqTextDocument::~KqTextDocument()
{
    for (int i = 0; i < m_validators.count(); ++i)
        delete m_validators.at(i);
    for (int i = 0; i < m_charFormats.count(); ++i)
        delete m_charFormats.at(i);
    for (int i = 0; i < m_textFormats.count(); ++i)
        delete m_textFormats.at(i);
}

KqString KqTextDocument::text() const { return textRange(0, length()); }

KqString KqTextDocument::textRange(int start, int end) const
{
    if (start < 0)
        start = 0;
    if (end > length())
        end = length();
    if (end <= start)
        return KqString();
    return KqString(units() + start, end - start);
}

int KqTextDocument::runIndexAt(int position) const
{
    int found = -1;
    for (int i = 0; i < m_runStarts.count() && m_runStarts.at(i) <= position; ++i)
        found = i;
    return found;
}

KqCharFormat* KqTextDocument::runFormat(int run) const
{
    if (run < 0 || run >= m_runFormats.count())
        return nullptr;
    return charFormat(m_runFormats.at(run));
}

void KqTextDocument::addValidator(KqDocumentValidater* validator)
{
    if (!validator || m_validators.contains(validator))
        return;
    validator->setDocument(this);
    m_validators.append(validator);
    validator->reset();
}

bool KqTextDocument::askValidators(uint32_t kind, uint32_t phase, KqChar unit, int position, bool obeyRefusals)
{
    if (m_validatorsSuspended)
        return true;
    // A copy: a validator may add another while we ask.
    KqVector<KqDocumentValidater*> validators = m_validators;
    for (int i = 0; i < validators.count(); ++i) {
        KqDocumentValidater* v = validators.at(i);
        if (!v->handles(kind, phase))
            continue;
        const bool ok = kind == KqDocumentValidater::Insertions ? v->validateInsert(unit, position) : v->validateRemove(unit, position);
        if (!ok && obeyRefusals)
            return false;
    }
    return true;
}

void KqTextDocument::insertUnit(KqChar unit, int position)
{
    m_text.insert(position, unit);
    for (int i = 0; i < m_runStarts.count(); ++i) {
        if (m_runStarts.at(i) > position)
            ++m_runStarts[i];
    }
    if (KqCharFormat* format = charFormat(runIndexAt(position)))
        format->unitInserted(unit);
}

void KqTextDocument::removeUnit(int index)
{
    const KqChar unit = m_text.at(index);
    m_text.removeAt(index);
    if (KqCharFormat* format = charFormat(runIndexAt(index)))
        format->unitRemoved(unit);
    for (int i = 0; i < m_runStarts.count(); ++i) {
        if (m_runStarts.at(i) > index)
            --m_runStarts[i];
    }
    // Runs left empty or outside the text go, the first one stays.
    for (int i = m_runStarts.count() - 1; i >= 1; --i) {
        const int start = m_runStarts.at(i);
        if (start == m_runStarts.at(i - 1) || start < 0 || start >= length()) {
            m_runStarts.removeAt(i);
            m_runFormats.removeAt(i);
        }
    }
}

bool KqTextDocument::insertChar(KqChar unit, int position)
{
    if (position == -1)
        position = length();
    if (position < 0 || position > length())
        return false;
    // The limit counts units: a full document takes no more.
    if (m_maxLength > 0 && length() >= m_maxLength)
        return false;
    if (!askValidators(KqDocumentValidater::Insertions, KqDocumentValidater::Before, unit, position, true))
        return false;
    insertUnit(unit, position);
    if (askValidators(KqDocumentValidater::Insertions, KqDocumentValidater::After, unit, position, true))
        return true;
    // Refused after the fact: take the unit out again so that the answer
    // matches the text; validators that counted it see the removal.
    askValidators(KqDocumentValidater::Removals, KqDocumentValidater::Before, unit, position, false);
    removeUnit(position);
    askValidators(KqDocumentValidater::Removals, KqDocumentValidater::After, unit, position, false);
    return false;
}

int KqTextDocument::insertText(const KqString& text, int position)
{
    if (position == -1)
        position = length();
    int inserted = 0;
    for (int i = 0; i < text.length(); ++i) {
        if (!insertChar(text.unitAt(i), position + inserted))
            break;
        ++inserted;
    }
    return inserted;
}

bool KqTextDocument::removeChar(int index)
{
    if (index < 0 || index >= length())
        return false;
    const KqChar unit = m_text.at(index);
    if (!askValidators(KqDocumentValidater::Removals, KqDocumentValidater::Before, unit, index, true))
        return false;
    removeUnit(index);
    return askValidators(KqDocumentValidater::Removals, KqDocumentValidater::After, unit, index, true);
}

void KqTextDocument::clear()
{
    for (int i = length() - 1; i >= 0; --i)
        removeChar(i);
    m_text.clear();
    while (m_runStarts.count() > 1) {
        m_runStarts.removeAt(m_runStarts.count() - 1);
        m_runFormats.removeAt(m_runFormats.count() - 1);
    }
    m_cursor.setPosition(0);
    m_anchor.setPosition(0);
}
