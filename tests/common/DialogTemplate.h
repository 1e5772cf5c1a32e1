// Builds an in-memory dialog template for tests.
#pragma once

#include <windows.h>

#include <vector>

class DialogTemplate {
public:
    DialogTemplate(DWORD style, short cx, short cy)
    {
        Align();
        DLGTEMPLATE t = {};
        t.style = style;
        t.cx = cx;
        t.cy = cy;
        Append(&t, sizeof(t));
        Word(0);  // menu
        Word(0);  // class
        Word(0);  // title
    }

    // atom: 0x0080 button, 0x0081 edit, 0x0082 static
    void AddControl(WORD atom, WORD id, DWORD style, short x, short y, short cx, short cy)
    {
        Align();
        DLGITEMTEMPLATE item = {};
        item.style = style | WS_CHILD | WS_VISIBLE;
        item.x = x;
        item.y = y;
        item.cx = cx;
        item.cy = cy;
        item.id = id;
        Append(&item, sizeof(item));
        Word(0xFFFF);
        Word(atom);
        Word(0);  // title
        Word(0);  // no creation data
        reinterpret_cast<DLGTEMPLATE*>(m_data.data())->cdit++;
    }

    LPCDLGTEMPLATEA Get() const { return reinterpret_cast<LPCDLGTEMPLATEA>(m_data.data()); }

private:
    void Align()
    {
        while (m_data.size() % 4)
            m_data.push_back(0);
    }
    void Word(WORD w) { Append(&w, sizeof(w)); }
    void Append(const void* p, size_t n)
    {
        const BYTE* b = static_cast<const BYTE*>(p);
        m_data.insert(m_data.end(), b, b + n);
    }

    std::vector<BYTE> m_data;
};
