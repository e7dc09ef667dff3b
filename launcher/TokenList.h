// TokenList: splits a text at a set of delimiter characters without copying each token.
//
// The list keeps one private copy of the text in which every delimiter has been overwritten
// by NUL, and pointers to the first character of each token inside that copy; the pointers
// stay valid as long as the list lives (and until the next Split). Tokens are the maximal
// runs of non-delimiters, so leading, trailing and repeated delimiters give no empty tokens.
//
// The pointer list keeps its first entries inline: the configuration reader reserves 8,
// which never touch the heap. On 32-bit Windows, the program as it ships, 32 bytes hold
// those 8 pointers; 64-bit builds scale the inline bytes with the pointer size so that the
// same 8 tokens still fit.
#pragma once

#include <vxnstl/string>
#include <vxnstl/vector>

#include <cstddef>
#include <type_traits>

class TokenList {
public:
    static constexpr std::size_t InlineTokens = 8;
    using Pointers = vxn::vector<vxn::wchar*, vxn::fixed_storage<InlineTokens * sizeof(vxn::wchar*), vxn::allocator, 4>>;

    // Room for `reserved` tokens before the first Split (8 stay inline).
    explicit TokenList(std::size_t reserved = InlineTokens);

    TokenList(const TokenList&) = delete;
    TokenList& operator=(const TokenList&) = delete;

    // Replaces the contents with the tokens of text (up to its NUL); every character of
    // delimiters is a delimiter. A null text gives no tokens.
    void Split(const vxn::wchar* text, const vxn::wchar* delimiters);

    std::size_t Count() const { return m_tokens.size(); }
    vxn::wchar* operator[](std::size_t index) const { return m_tokens.data()[index]; }

    vxn::wchar* const* begin() const { return m_tokens.begin(); }
    vxn::wchar* const* end() const { return m_tokens.end(); }

    // True while the token pointers sit in the inline buffer.
    bool UsesInlineStorage() const { return m_tokens.uses_inline_buffer(); }

private:
    static_assert(sizeof(void*) != 4 ||
                      std::is_same_v<Pointers, vxn::vector<vxn::wchar*, vxn::fixed_storage<32, vxn::allocator, 4>>>,
                  "the shipping 32-bit program keeps its 8 token pointers in 32 inline bytes");

    vxn::wstring m_text;
    Pointers m_tokens;
};
