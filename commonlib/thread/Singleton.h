// CSingleton<T>: one process-wide T, created on first use and destroyed at process exit.
#pragma once

template <typename T>
class CSingleton {
 public:
  static T* GetInstance() {
    static T instance;
    return &instance;
  }

 protected:
  CSingleton() = default;
  ~CSingleton() = default;
};
