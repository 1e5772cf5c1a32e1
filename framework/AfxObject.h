// Runtime class information: just enough for AfxDynamicDownCast.
#pragma once

struct CRuntimeClass {
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;

    bool IsDerivedFrom(const CRuntimeClass* pBase) const;
};

class CObject {
public:
    virtual ~CObject() {}
    virtual const CRuntimeClass* GetRuntimeClass() const;
    bool IsKindOf(const CRuntimeClass* pClass) const;

    static const CRuntimeClass classCObject;
};

#define RUNTIME_CLASS(name) (&name::class##name)

#define DECLARE_DYNAMIC(name) \
public: \
    static const CRuntimeClass class##name; \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(name, base) \
    const CRuntimeClass name::class##name = { #name, RUNTIME_CLASS(base) }; \
    const CRuntimeClass* name::GetRuntimeClass() const { return RUNTIME_CLASS(name); }

// Returns pObject when it is of pClass or derived from it, else null.
CObject* AfxDynamicDownCast(const CRuntimeClass* pClass, CObject* pObject);
