#include "TokenList.h"

TokenList::TokenList(std::size_t reserved)
{
    m_tokens.reserve(reserved);
}

void TokenList::Split(const vxn::wchar* text, const vxn::wchar* delimiters)
{
    m_tokens.clear();
    m_text.assign(text);
    vxn::wchar* position = m_text.data();
    if (position == nullptr)
        return;
    const vxn::u32 delimiter_count = vxn::length_of(delimiters);
    bool token_may_start = true;
    for (; *position != 0; ++position) {
        bool is_delimiter = false;
        for (vxn::u32 d = 0; d < delimiter_count; ++d) {
            if (*position == delimiters[d]) {
                is_delimiter = true;
                break;
            }
        }
        if (is_delimiter) {
            *position = 0;
            token_may_start = true;
        } else if (token_may_start) {
            m_tokens.push_back(position);
            token_may_start = false;
        }
    }
}
